#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace plo {

// How long a kept answer of the package index stands: a day.
inline constexpr int64_t kIndexCacheSeconds = 24 * 3600;

// The file in plo's cache folder that keeps the index's PySpark versions for one index URL
// (named by a hash of it, so that no credential is written into a name).
std::filesystem::path index_cache_file(const std::filesystem::path& folder,
                                       const std::string& index_url);

// The kept versions, when the file is there, has the shape plo writes and was written less than
// a day before `now` (seconds since the epoch); nothing otherwise.
std::optional<std::vector<std::string>> read_index_cache(const std::filesystem::path& file,
                                                         int64_t now);

// Keeps the versions with the time `now`, written atomically under the file's lock; a cache that
// cannot be written is no error (the next run asks again).
void write_index_cache(const std::filesystem::path& file, const std::vector<std::string>& versions,
                       int64_t now);

}  // namespace plo
