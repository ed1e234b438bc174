#include "util/secrets.h"

#include <algorithm>

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

}  // namespace

std::string without_tokens(std::string_view text) {
  std::string out(text);
  mask_after(out, ";token=", ";\n\r\t \"'");
  mask_after(out, "Bearer ", ";\n\r\t \"',");
  return out;
}

}  // namespace plo
