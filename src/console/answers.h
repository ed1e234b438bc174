#pragma once

#include <optional>
#include <string_view>

namespace plo {

// Parses an answer to an integer question: blanks around it are ignored, an optional sign, then
// digits. Values beyond the range of long long are clamped to its bounds, so a caller's range check
// refuses them instead of seeing a wrapped number. Anything else gives nothing.
std::optional<long long> parse_integer_answer(std::string_view entry);

// Parses an answer to a yes/no question: y, yes, n, no in any case, blanks around ignored.
std::optional<bool> parse_yes_no_answer(std::string_view entry);

}  // namespace plo
