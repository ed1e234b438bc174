#pragma once

#include <string>
#include <string_view>

#include "console/console.h"

namespace plo {

// The rule lines under report headings.
inline const std::string kHyphens40(40, '-');
inline const std::string kEquals50(50, '=');
inline const std::string kEquals60(60, '=');
inline const std::string kHyphens60(60, '-');

// The mark a catalogue tag adds after a version: " (latest)" green, " (stable)" blue, else none.
inline std::string tag_display(const Console& console, std::string_view tag) {
  if (tag == "latest") return console.style(" (latest)", Color::Green);
  if (tag == "stable") return console.style(" (stable)", Color::Blue);
  return {};
}

}  // namespace plo
