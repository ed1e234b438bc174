#pragma once

#include <string>

namespace plo {

// The rule lines under report headings.
inline const std::string kHyphens40(40, '-');
inline const std::string kEquals50(50, '=');
inline const std::string kEquals60(60, '=');
inline const std::string kHyphens60(60, '-');

}  // namespace plo
