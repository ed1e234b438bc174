#include "console/quiet_console.h"

#include <algorithm>

namespace plo {

void QuietConsole::echo(std::string_view text) {
  const bool error = std::any_of(
      red_parts_.begin(), red_parts_.end(),
      [&](const std::string& part) { return text.find(part) != std::string_view::npos; });
  red_parts_.clear();
  if (error) {
    held_.clear();
    inner_.echo(text);
    return;
  }
  held_.emplace_back(text);
  if (held_.size() > kMaxHeldLines) held_.pop_front();
}

std::string QuietConsole::style(std::string_view text, Color fg, bool bold) const {
  std::string styled = inner_.style(text, fg, bold);
  if (fg == Color::Red && !text.empty()) red_parts_.push_back(styled);
  return styled;
}

void QuietConsole::release_held() {
  for (const std::string& line : held_) inner_.echo(line);
  held_.clear();
}

long long QuietConsole::prompt_int(std::string_view question) {
  release_held();
  return inner_.prompt_int(question);
}

std::string QuietConsole::prompt_text(std::string_view question) {
  release_held();
  return inner_.prompt_text(question);
}

bool QuietConsole::confirm(std::string_view question, bool default_value) {
  release_held();
  return inner_.confirm(question, default_value);
}

}  // namespace plo
