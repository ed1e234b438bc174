#include "console/answers.h"

#include <cctype>
#include <climits>
#include <string>

#include "util/text.h"

namespace plo {

std::optional<long long> parse_integer_answer(std::string_view entry) {
  std::string_view text = trim_blanks(entry);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  // Accumulate as a negative number so that LLONG_MIN is representable, clamping on overflow.
  long long value = 0;
  bool clamped = false;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const int digit = c - '0';
    if (!clamped && value < (LLONG_MIN + digit) / 10) clamped = true;
    if (!clamped) value = value * 10 - digit;
  }
  if (clamped) return negative ? LLONG_MIN : LLONG_MAX;
  if (negative) return value;
  return value == LLONG_MIN ? LLONG_MAX : -value;
}

std::optional<bool> parse_yes_no_answer(std::string_view entry) {
  const std::string lowered = to_lower(trim_blanks(entry));
  if (lowered == "y" || lowered == "yes") return true;
  if (lowered == "n" || lowered == "no") return false;
  return std::nullopt;
}

}  // namespace plo
