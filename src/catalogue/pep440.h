#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plo {

// The comparison form of a PEP 440 version ("3.5.09" and "3.5.9.0" both give "3.5.9"; "4.0.0RC1"
// gives "4rc1"), or nothing when the text is not a plain version: digits and dots with optional
// epoch, pre-, post-, dev- and local parts, nothing else (no blanks, markers, wildcards or
// operators).
std::optional<std::string> pep440_key(std::string_view text);

}  // namespace plo
