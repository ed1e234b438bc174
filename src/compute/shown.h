#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace plo {

// Text from outside (files, servers) as it may be printed: control characters escaped as \xNN,
// cut to `max_chars` bytes with "..." so a flood stays one short line.
inline std::string shown(std::string_view text, size_t max_chars = 200) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < text.size() && i < max_chars; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  if (text.size() > max_chars) out += "...";
  return out;
}

// A master URL with the value of a Spark Connect token parameter masked, so that listing or
// testing a compute never prints the secret.
inline std::string without_token(std::string_view url) {
  std::string out(url);
  for (size_t at = out.find(";token="); at != std::string::npos; at = out.find(";token=", at + 1)) {
    const size_t start = at + 7;
    const size_t end = std::min(out.find(';', start), out.size());
    out.replace(start, end - start, "***");
  }
  return out;
}

}  // namespace plo
