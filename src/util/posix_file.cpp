#include "util/posix_file.h"

#include <fmt/format.h>
#include <cstring>
#include <stdexcept>

namespace plo {

void throw_file_error(const std::filesystem::path& file, std::string_view what, int error) {
  throw std::runtime_error(
      fmt::format("cannot {} {}: {}", what, file.string(), std::strerror(error)));
}

}  // namespace plo
