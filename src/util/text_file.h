#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace plo {

// The first `max_bytes` of a file, or nothing when it cannot be read. Files plo reads for versions
// are small; the cap keeps a stray huge file or a device from stalling it.
std::optional<std::string> read_file_prefix(const std::filesystem::path& path,
                                            size_t max_bytes = 1 << 20);

}  // namespace plo
