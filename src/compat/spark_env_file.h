#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace plo {

// The contents of a spark-env.sh, or nothing when it does not exist. Throws, naming the file,
// when it cannot be read, is not a regular file or is larger than a configuration file can be.
std::optional<std::string> read_spark_env(const std::filesystem::path& file);

// Replaces the file by `contents`: written to a temporary file in the same folder, mode 0644, and
// renamed over it (over a symlink's target, so the link stays). Creates the folder itself when it
// is missing. Throws, naming the file, on failure; the old file is then left as it was.
void write_spark_env(const std::filesystem::path& file, std::string_view contents);

}  // namespace plo
