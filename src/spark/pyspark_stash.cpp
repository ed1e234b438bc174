#include "spark/pyspark_stash.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "util/text_file.h"

namespace plo {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kManifestHeader = "plo-pyspark-stash 1";
constexpr size_t kMaxManifestBytes = 64 << 20;

// A hard link where the filesystem allows one, else a copy.
void link_or_copy(const fs::path& from, const fs::path& to) {
  std::error_code error;
  fs::create_hard_link(from, to, error);
  if (error) fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

// The manifest: a header line, then the version and each original path, NUL-terminated; the
// kept file of entry n is files/n.
struct Manifest {
  std::string version;
  std::vector<std::string> paths;
};

std::optional<Manifest> read_manifest(const fs::path& folder) {
  const auto contents = read_file_prefix(folder / "MANIFEST", kMaxManifestBytes);
  if (!contents || !contents->starts_with(std::string(kManifestHeader) + "\n")) return std::nullopt;
  std::string_view rest(*contents);
  rest.remove_prefix(kManifestHeader.size() + 1);
  std::vector<std::string> fields;
  while (!rest.empty()) {
    const auto end = rest.find('\0');
    if (end == std::string_view::npos) return std::nullopt;  // cut short
    fields.emplace_back(rest.substr(0, end));
    rest.remove_prefix(end + 1);
  }
  if (fields.empty() || fields.front().empty()) return std::nullopt;
  Manifest manifest{fields.front(), {}};
  manifest.paths.assign(fields.begin() + 1, fields.end());
  return manifest;
}

bool is_pyspark_leftover(const fs::path& entry) {
  const std::string name = entry.filename().string();
  if (name == "pyspark") return true;
  // pyspark-<version>.dist-info, in any spelling of the name
  const auto dash = name.find('-');
  if (dash == std::string::npos || !name.ends_with(".dist-info")) return false;
  std::string stem = name.substr(0, dash);
  for (char& c : stem) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return stem == "pyspark";
}

}  // namespace

void PySparkStash::create(const std::string& version, const std::vector<std::string>& files) const {
  remove();
  fs::create_directories(folder_ / "files");
  std::string manifest = std::string(kManifestHeader) + "\n" + version + '\0';
  size_t kept = 0;
  for (const std::string& file : files) {
    std::error_code error;
    if (!fs::is_regular_file(fs::symlink_status(file, error))) continue;
    link_or_copy(file, folder_ / "files" / std::to_string(kept++));
    manifest += file + '\0';
  }
  const fs::path temporary = folder_ / "MANIFEST.tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << manifest;
    out.flush();
    if (!out) {
      throw fs::filesystem_error("cannot write the stash manifest", temporary,
                                 std::make_error_code(std::errc::io_error));
    }
  }
  fs::rename(temporary, folder_ / "MANIFEST");
}

std::optional<std::string> PySparkStash::version() const {
  if (auto manifest = read_manifest(folder_)) return manifest->version;
  return std::nullopt;
}

void PySparkStash::restore(const fs::path& site) const {
  const auto manifest = read_manifest(folder_);
  if (!manifest) {
    throw fs::filesystem_error("the stash has no complete manifest", folder_,
                               std::make_error_code(std::errc::no_such_file_or_directory));
  }
  for (const auto& entry : fs::directory_iterator(site)) {
    if (is_pyspark_leftover(entry.path())) fs::remove_all(entry.path());
  }
  for (size_t i = 0; i < manifest->paths.size(); ++i) {
    const fs::path target(manifest->paths[i]);
    fs::create_directories(target.parent_path());
    fs::remove(target);
    link_or_copy(folder_ / "files" / std::to_string(i), target);
  }
}

bool PySparkStash::complete_pyspark_in(const fs::path& site) {
  std::error_code error;
  if (!fs::is_regular_file(site / "pyspark" / "__init__.py", error)) return false;
  fs::directory_iterator it(site, error);
  if (error) return false;
  for (const auto& entry : it) {
    if (entry.path().filename() != "pyspark" && is_pyspark_leftover(entry.path()) &&
        fs::is_regular_file(entry.path() / "RECORD", error)) {
      return true;
    }
  }
  return false;
}

void PySparkStash::remove() const {
  std::error_code error;
  fs::remove_all(folder_, error);
}

}  // namespace plo
