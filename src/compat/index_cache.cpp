#include "compat/index_cache.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <chrono>

#include "catalogue/versions.h"
#include "process/file_lock.h"
#include "util/atomic_write.h"
#include "util/text_file.h"

namespace plo {
namespace {

// PyPI's page of pyspark lists a few hundred versions; a file this large is not plo's.
constexpr size_t kMaxCacheBytes = 1 << 20;

}  // namespace

std::filesystem::path index_cache_file(const std::filesystem::path& folder,
                                       const std::string& index_url) {
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const unsigned char c : index_url) hash = (hash ^ c) * 1099511628211ull;
  return folder / fmt::format("pyspark-index-{:016x}.json", hash);
}

std::optional<std::vector<std::string>> read_index_cache(const std::filesystem::path& file,
                                                         int64_t now) {
  const FileContents contents = read_regular_file(file, kMaxCacheBytes);
  if (contents.status != FileContents::Status::Ok) return std::nullopt;
  const auto kept = nlohmann::json::parse(contents.text, nullptr, /*allow_exceptions=*/false);
  if (!kept.is_object()) return std::nullopt;
  const auto written = kept.find("written");
  const auto listed = kept.find("versions");
  if (written == kept.end() || !written->is_number_integer() || listed == kept.end() ||
      !listed->is_array()) {
    return std::nullopt;
  }
  // A time ahead of now (a clock set back) makes the age unknown: asked again.
  const int64_t age = now - written->get<int64_t>();
  if (age < 0 || age >= kIndexCacheSeconds) return std::nullopt;
  std::vector<std::string> versions;
  for (const auto& version : *listed) {
    if (!version.is_string() || !looks_like_version(version.get_ref<const std::string&>())) {
      return std::nullopt;
    }
    versions.push_back(version.get<std::string>());
  }
  return versions;
}

void write_index_cache(const std::filesystem::path& file, const std::vector<std::string>& versions,
                       int64_t now) {
  const nlohmann::json kept = {{"written", now}, {"versions", versions}};
  try {
    // Beside plo's other locks in its cache folder.
    const std::filesystem::path locks = file.parent_path() / "locks";
    std::error_code ignored;
    std::filesystem::create_directories(locks, ignored);
    // A second plo writing the same answer at once is no reason to wait long.
    const FileLock lock = FileLock::acquire((locks / file.filename()).string() + ".lock",
                                            std::chrono::milliseconds(500), [] {});
    write_file_atomically(file, kept.dump() + "\n", 0600);
  } catch (const std::exception&) {
    // Only the next run's time is lost.
  }
}

}  // namespace plo
