#include "console/quiet_console.h"

#include <algorithm>

namespace plo {

void QuietConsole::echo(std::string_view text) {
  const bool error = std::any_of(
      red_parts_.begin(), red_parts_.end(),
      [&](const std::string& part) { return text.find(part) != std::string_view::npos; });
  red_parts_.clear();
  if (error) inner_.echo(text);
}

std::string QuietConsole::style(std::string_view text, Color fg, bool bold) const {
  std::string styled = inner_.style(text, fg, bold);
  if (fg == Color::Red && !text.empty()) red_parts_.push_back(styled);
  return styled;
}

}  // namespace plo
