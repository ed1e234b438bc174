#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace plo {

// The contents of a spark-env.sh, or nothing when it does not exist. Throws, naming the file,
// when it cannot be read, is not a regular file or is larger than a configuration file can be.
std::optional<std::string> read_spark_env(const std::filesystem::path& file);

// Replaces the file by `contents` atomically (write_file_atomically: mode and owner kept, a new
// file 0644, a symlink written through). Throws, naming the file; the old file then stays.
void write_spark_env(const std::filesystem::path& file, std::string_view contents);

}  // namespace plo
