#include "spark/pyspark_stash.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>

#include "environment/distributions.h"
#include "util/text_file.h"

namespace plo {
namespace {

namespace fs = std::filesystem;

// Version 2 adds, after an empty field, the files that the kept packages' folders held.
constexpr std::string_view kManifestHeader = "plo-pyspark-stash 2";
constexpr std::string_view kFirstManifestHeader = "plo-pyspark-stash 1";
constexpr size_t kMaxManifestBytes = 64 << 20;

// A hard link where the filesystem allows one, else a copy.
void link_or_copy(const fs::path& from, const fs::path& to) {
  std::error_code error;
  fs::create_hard_link(from, to, error);
  if (error) fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

// Writes the manifest, synced, under its final name only once complete; throws with the system's
// own reason (a full disk is ENOSPC, not an I/O error).
void write_manifest(const fs::path& folder, const std::string& manifest) {
  const fs::path temporary = folder / "MANIFEST.tmp";
  const auto fail = [&](int error) {
    ::unlink(temporary.c_str());
    throw fs::filesystem_error("cannot write the stash manifest", temporary,
                               std::error_code(error, std::generic_category()));
  };
  const int fd =
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) fail(errno);
  size_t written = 0;
  while (written < manifest.size()) {
    const ssize_t put = ::write(fd, manifest.data() + written, manifest.size() - written);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) {
      const int error = errno;
      ::close(fd);
      fail(error);
    }
    written += static_cast<size_t>(put);
  }
  if (::fsync(fd) != 0) {
    const int error = errno;
    ::close(fd);
    fail(error);
  }
  if (::close(fd) != 0) fail(errno);
  if (::rename(temporary.c_str(), (folder / "MANIFEST").c_str()) != 0) fail(errno);
}

// The manifest: a header line, then the version and each original path, NUL-terminated (the kept
// file of entry n is files/n); then an empty field and every file that the kept packages' folders
// held when the copy was made.
struct Manifest {
  std::string version;
  std::vector<std::string> paths;
  std::optional<std::set<std::string>> present;  // nothing in a first-version manifest
};

std::optional<Manifest> read_manifest(const fs::path& folder) {
  auto contents = read_file_prefix(folder / "MANIFEST", kMaxManifestBytes);
  if (!contents) contents = read_file_prefix(folder / "UNFINISHED", kMaxManifestBytes);
  if (!contents) return std::nullopt;
  const bool first = contents->starts_with(std::string(kFirstManifestHeader) + "\n");
  if (!first && !contents->starts_with(std::string(kManifestHeader) + "\n")) return std::nullopt;
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
  Manifest manifest{fields.front(), {}, std::nullopt};
  const auto end = std::find(fields.begin() + 1, fields.end(), std::string());
  manifest.paths.assign(fields.begin() + 1, end);
  if (!first) {
    if (end == fields.end()) return std::nullopt;  // cut short
    manifest.present.emplace(end + 1, fields.end());
  }
  return manifest;
}

// Whether `path` lies inside `folder` (both normalised, absolute).
bool is_inside(const fs::path& path, const fs::path& folder) {
  const auto [end, unused] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
  (void)unused;
  return end == folder.end();
}

// Removes the files of `site` that a dist-info's RECORD lists, as pip's uninstall would, then the
// folders that this left empty; files no RECORD names (the user's conf/, added jars) stay.
void remove_recorded_files(const fs::path& site, const fs::path& dist_info) {
  const auto record = read_file_prefix(dist_info / "RECORD", kMaxManifestBytes);
  if (!record) return;
  const fs::path root = fs::absolute(site).lexically_normal();
  std::set<fs::path> folders;
  for (const std::string& listed : record_paths(*record)) {
    const fs::path file = (root / listed).lexically_normal();
    if (!is_inside(file, root) || file == root) continue;  // a RECORD is no licence to roam
    std::error_code error;
    if (fs::is_directory(fs::symlink_status(file, error))) continue;
    fs::remove(file, error);
    for (fs::path up = file.parent_path(); up != root && is_inside(up, root);
         up = up.parent_path()) {
      folders.insert(up);
    }
  }
  // Deepest first: a folder empties once its subfolders are gone.
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
    if (it->string().find(std::string(PySparkStash::kFolderName)) != std::string::npos) continue;
    ::rmdir(it->c_str());  // fails, harmlessly, where anything else is left
  }
}

// The name of a dist-info folder before its version, lower case with '_' for '.'.
std::string dist_info_stem(const std::string& name) {
  std::string stem = name.substr(0, name.find('-'));
  for (char& c : stem) {
    c = c == '.' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return stem;
}

// The top folders of `site` that kept files lie in ("pyspark", "py4j"), and the dist-info stems
// among them ("pyspark", "py4j").
struct KeptTops {
  std::set<fs::path> folders;
  std::set<std::string> stems;
};

KeptTops kept_tops(const fs::path& site, const std::vector<std::string>& files) {
  KeptTops tops;
  const fs::path root = fs::absolute(site).lexically_normal();
  for (const std::string& file : files) {
    const fs::path path = fs::path(file).lexically_normal();
    if (!is_inside(path, root)) continue;
    const fs::path relative = path.lexically_relative(root);
    if (std::distance(relative.begin(), relative.end()) < 2) continue;
    const std::string top = relative.begin()->string();
    if (top.ends_with(".dist-info")) {
      tops.stems.insert(dist_info_stem(top));
    } else if (top != PySparkStash::kFolderName) {
      tops.folders.insert(root / top);
    }
  }
  return tops;
}

// Every file (not folder) under `folders`, links not followed.
std::vector<std::string> files_under(const std::set<fs::path>& folders) {
  std::vector<std::string> found;
  for (const fs::path& folder : folders) {
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
      if (!it->is_directory(error)) found.push_back(it->path().lexically_normal().string());
    }
  }
  return found;
}

// Removes what appeared in the kept packages' folders since the copy was made (an install cut
// short leaves its jars beside the old ones), then the folders that this left empty.
void remove_files_not_in(const std::set<fs::path>& folders, const std::set<std::string>& present) {
  std::set<fs::path> emptied;
  for (const std::string& file : files_under(folders)) {
    if (present.contains(file)) continue;
    fs::remove(file);
    emptied.insert(fs::path(file).parent_path());
  }
  for (auto it = emptied.rbegin(); it != emptied.rend(); ++it) {
    for (fs::path up = *it; !folders.contains(up) && !up.empty(); up = up.parent_path()) {
      if (::rmdir(up.c_str()) != 0) break;
    }
  }
}

bool is_pyspark_leftover(const fs::path& entry) {
  const std::string name = entry.filename().string();
  if (name == "pyspark") return true;
  // pyspark-<version>.dist-info (or the Spark Connect client's pyspark_client-<version>), in any
  // spelling of the name
  const auto dash = name.find('-');
  if (dash == std::string::npos || !name.ends_with(".dist-info")) return false;
  std::string stem = name.substr(0, dash);
  for (char& c : stem) {
    c = c == '.' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return stem == "pyspark" || stem == "pyspark_client";
}

}  // namespace

void PySparkStash::create(const std::string& version, const std::vector<std::string>& files) const {
  remove();
  fs::create_directories(folder_ / "files");
  std::string manifest = std::string(kManifestHeader) + "\n" + version + '\0';
  size_t kept = 0;
  for (const std::string& file : files) {
    std::error_code error;
    if (file.empty() || !fs::is_regular_file(fs::symlink_status(file, error))) continue;
    link_or_copy(file, folder_ / "files" / std::to_string(kept++));
    manifest += file + '\0';
  }
  manifest += '\0';
  for (const std::string& file : files_under(kept_tops(folder_.parent_path(), files).folders)) {
    manifest += file + '\0';
  }
  write_manifest(folder_, manifest);
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
  const KeptTops tops = kept_tops(site, manifest->paths);
  std::vector<fs::path> dist_infos;
  for (const auto& entry : fs::directory_iterator(site)) {
    const std::string name = entry.path().filename().string();
    if (name == "pyspark" || !name.ends_with(".dist-info")) continue;
    if (is_pyspark_leftover(entry.path()) || tops.stems.contains(dist_info_stem(name))) {
      dist_infos.push_back(entry.path());
    }
  }
  for (const fs::path& dist_info : dist_infos) {
    remove_recorded_files(site, dist_info);
    fs::remove_all(dist_info);
  }
  if (manifest->present) remove_files_not_in(tops.folders, *manifest->present);
  for (size_t i = 0; i < manifest->paths.size(); ++i) {
    const fs::path target(manifest->paths[i]);
    fs::create_directories(target.parent_path());
    fs::remove(target);
    link_or_copy(folder_ / "files" / std::to_string(i), target);
  }
}

void PySparkStash::mark_unfinished() const {
  ::rename((folder_ / "MANIFEST").c_str(), (folder_ / "UNFINISHED").c_str());
}

bool PySparkStash::unfinished() const {
  std::error_code error;
  return fs::is_regular_file(folder_ / "UNFINISHED", error);
}

bool PySparkStash::half_removed_pyspark_in(const fs::path& site) {
  std::error_code error;
  const bool has_files = fs::is_regular_file(site / "pyspark" / "__init__.py", error);
  bool has_dist_info = false;
  fs::directory_iterator it(site, error);
  if (error) return false;
  for (const auto& entry : it) {
    if (entry.path().filename() != "pyspark" && is_pyspark_leftover(entry.path())) {
      has_dist_info = true;
    }
  }
  return has_files != has_dist_info;
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

namespace {

class DiskKeptCopy : public KeptCopy {
 public:
  explicit DiskKeptCopy(const std::string& folder) : stash_(folder) {}
  std::string folder() const override { return stash_.folder().string(); }
  void create(const std::string& version, const std::vector<std::string>& files) override {
    stash_.create(version, files);
  }
  std::optional<std::string> version() const override { return stash_.version(); }
  bool unfinished() const override { return stash_.unfinished(); }
  void restore() override { stash_.restore(site()); }
  void mark_unfinished() override { stash_.mark_unfinished(); }
  void remove() override { stash_.remove(); }
  bool site_complete() const override { return PySparkStash::complete_pyspark_in(site()); }
  bool site_half_removed() const override { return PySparkStash::half_removed_pyspark_in(site()); }

 private:
  fs::path site() const { return stash_.folder().parent_path(); }
  PySparkStash stash_;
};

}  // namespace

std::unique_ptr<KeptCopy> kept_copy_on_disk(const std::string& folder) {
  return std::make_unique<DiskKeptCopy>(folder);
}

}  // namespace plo
