#include "util/secrets.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace plo {
namespace {

// Masks what follows each `marker` up to the first of `ends` (or the end of the text).
void mask_after(std::string& text, std::string_view marker, std::string_view ends) {
  for (size_t at = text.find(marker); at != std::string::npos;
       at = text.find(marker, at + marker.size())) {
    const size_t start = at + marker.size();
    const size_t end = std::min(text.find_first_of(ends, start), text.size());
    if (end == start) continue;
    text.replace(start, end - start, "***");
  }
}

bool contains_secret_word(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  static constexpr std::array<std::string_view, 4> kWords = {"secret", "password", "token",
                                                             "access.key"};
  return std::any_of(kWords.begin(), kWords.end(),
                     [&](std::string_view word) { return lower.find(word) != std::string::npos; });
}

bool is_key_char(char ch) {
  return std::isalnum(static_cast<unsigned char>(ch)) || ch == '.' || ch == '_' || ch == '-';
}

// Every `key=value` of the text (a key of letters, digits and ._-; the value up to a blank, a
// quote, `;` or `&`, or in quotes up to the closing one) whose setting is a secret gets
// kRedactedValue for its value. A value masked already ("***") stays as it is.
void redact_settings(std::string& text) {
  static constexpr std::string_view kValueEnds = " \t\r\n\"';&";
  for (size_t equals = text.find('='); equals != std::string::npos;
       equals = text.find('=', equals + 1)) {
    size_t key_start = equals;
    while (key_start > 0 && is_key_char(text[key_start - 1])) --key_start;
    const size_t value_start = equals + 1;
    // A quoted setting ("spark.x.password=a b") holds its value up to the closing quote.
    const bool quoted =
        key_start > 0 && (text[key_start - 1] == '"' || text[key_start - 1] == '\'');
    const size_t value_end = std::min(quoted ? text.find(text[key_start - 1], value_start)
                                             : text.find_first_of(kValueEnds, value_start),
                                      text.size());
    const std::string_view key(text.data() + key_start, equals - key_start);
    const std::string_view value(text.data() + value_start, value_end - value_start);
    // A `key=value` inside this value is a part of it: a value without a secret holds none, so
    // the scan goes on after it, which keeps it linear.
    const bool masked = value == "***" || value == kRedactedValue;
    if (!value.empty() && !masked && is_secret_setting(key, value)) {
      text.replace(value_start, value.size(), kRedactedValue);
      equals = value_start + kRedactedValue.size() - 1;
    } else if (!value.empty()) {
      equals = value_end - 1;
    }
  }
}

}  // namespace

bool is_secret_setting(std::string_view key, std::string_view value) {
  return contains_secret_word(key) || contains_secret_word(value);
}

std::string without_url_passwords(std::string_view text) {
  std::string out(text);
  for (size_t at = out.find("://"); at != std::string::npos; at = out.find("://", at + 3)) {
    const size_t start = at + 3;
    const size_t end = std::min(out.find_first_of("/?# \t\r\n\"'<>", start), out.size());
    const size_t at_sign = std::string_view(out).substr(start, end - start).rfind('@');
    if (at_sign == std::string_view::npos) continue;
    const size_t user_end = start + at_sign;
    const size_t colon = out.find(':', start);
    if (colon == std::string::npos || colon >= user_end) continue;
    const std::string_view password(out.data() + colon + 1, user_end - colon - 1);
    if (password.empty() || password == "***") continue;
    out.replace(colon + 1, password.size(), "***");
  }
  return out;
}

std::string without_secrets(std::string_view text) {
  std::string out = without_url_passwords(text);
  mask_after(out, ";token=", ";\n\r\t \"'");
  mask_after(out, "Bearer ", ";\n\r\t \"',");
  redact_settings(out);
  return out;
}

}  // namespace plo
