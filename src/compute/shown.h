#pragma once

#include <algorithm>
#include <string>
#include <string_view>

#include "util/escape.h"
#include "util/secrets.h"

namespace plo {

// Text from outside (files, servers) as it may be printed: control characters escaped as \xNN,
// cut to `max_bytes` (on a character boundary) with "..." so that a flood stays one short line.
inline std::string shown(std::string_view text, size_t max_bytes = 200) {
  if (text.size() <= max_bytes) return escape_controls(text);
  size_t cut = max_bytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return escape_controls(text.substr(0, cut)) + "...";
}

// A master URL with the value of a Spark Connect token parameter masked, so that listing or
// testing a compute never prints the secret.
inline std::string without_token(std::string_view url) {
  return without_secrets(url);
}

}  // namespace plo
