#include "console/color.h"

#include <cstdlib>

namespace plo {
namespace {

std::string_view env_value(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string_view(value) : std::string_view();
}

bool forced(const char* name) {
  const std::string_view value = env_value(name);
  return !value.empty() && value != "0";
}

std::string_view sgr_code(Color fg) {
  switch (fg) {
    case Color::Red:
      return "31";
    case Color::Green:
      return "32";
    case Color::Yellow:
      return "33";
    case Color::Blue:
      return "34";
    case Color::Cyan:
      return "36";
  }
  return "0";
}

}  // namespace

bool color_wanted(ColorChoice choice, bool stdout_is_terminal) {
  if (choice != ColorChoice::Auto) return choice == ColorChoice::Always;
  if (!env_value("NO_COLOR").empty()) return false;
  if (forced("CLICOLOR_FORCE") || forced("FORCE_COLOR")) return true;
  return stdout_is_terminal && env_value("TERM") != "dumb";
}

std::string ansi_style(std::string_view text, Color fg, bool bold) {
  std::string styled = "\x1b[";
  styled += sgr_code(fg);
  styled += 'm';
  if (bold) styled += "\x1b[1m";
  styled += text;
  styled += "\x1b[0m";
  return styled;
}

}  // namespace plo
