#include "util/text_file.h"

#include <fstream>

namespace plo {

std::optional<std::string> read_file_prefix(const std::filesystem::path& path, size_t max_bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string contents(max_bytes, '\0');
  in.read(contents.data(), static_cast<std::streamsize>(max_bytes));
  if (in.bad()) return std::nullopt;
  contents.resize(static_cast<size_t>(in.gcount()));
  return contents;
}

}  // namespace plo
