#include "util/text.h"

#include <algorithm>
#include <cctype>

namespace plo {
namespace {

char lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

}  // namespace

std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const auto end = text.find('\n');
    lines.push_back(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  return lines;
}

std::string_view trim_line_ends(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

std::string_view trim_blanks(std::string_view text) {
  constexpr std::string_view blanks = " \t\r\n\v\f";
  const auto first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

std::string to_lower(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = lower(c);
  return lowered;
}

bool contains_ignoring_case(std::string_view text, std::string_view lower_needle) {
  const auto it = std::search(text.begin(), text.end(), lower_needle.begin(), lower_needle.end(),
                              [](char a, char b) { return lower(a) == b; });
  return it != text.end();
}

std::string first_chars(std::string_view text, size_t count) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && chars++ == count) {
      return std::string(text.substr(0, i));
    }
  }
  return std::string(text);
}

}  // namespace plo

namespace plo {

std::string shell_quoted(std::string_view text) {
  const bool safe = !text.empty() && text.find_first_not_of(
                                         "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                         "0123456789@%+=:,./-_") == std::string_view::npos;
  return safe ? std::string(text) : shell_quote(text);
}

std::string shell_quote(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

}  // namespace plo
