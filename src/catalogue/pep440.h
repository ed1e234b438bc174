#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plo {

// The comparison form of a PEP 440 version ("3.5.09" and "3.5.9.0" both give "3.5.9"; "4.0.0RC1"
// gives "4rc1", "v3.5" gives "3.5"), or nothing when the text is not a plain version: digits and
// dots with optional epoch, pre-, post-, dev- and local parts, nothing else (no blanks, markers,
// wildcards or operators).
std::optional<std::string> pep440_key(std::string_view text);

// Whether two version texts name the same version as pip compares them ("3.5.1.0" and "03.05.01"
// are "3.5.1"); texts that are no plain version are equal only as typed.
bool same_version(std::string_view a, std::string_view b);

}  // namespace plo
