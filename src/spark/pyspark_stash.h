#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plo {

// The installed PySpark's files kept aside while it is replaced: hard links (copies where the
// filesystem refuses links) in a folder beside its dist-info, so that pip's uninstall, which
// removes names, leaves the data alive. A stash counts only once its manifest is written.
class PySparkStash {
 public:
  static constexpr const char* kFolderName = ".plo-pyspark-stash";

  explicit PySparkStash(std::filesystem::path folder) : folder_(std::move(folder)) {}

  const std::filesystem::path& folder() const { return folder_; }

  // Keeps `files` (absolute paths; missing ones are skipped) of PySpark `version`, replacing
  // anything in the folder. Throws std::filesystem::filesystem_error when it cannot.
  void create(const std::string& version, const std::vector<std::string>& files) const;

  // The version of a complete stash, or nothing (no stash, or one cut short).
  std::optional<std::string> version() const;

  // Marks a stash whose restore failed: it is then the only copy of that PySpark, to be put back
  // by the next set-version whatever the environment holds. A rename, so that it needs no space.
  void mark_unfinished() const;

  // Whether a restore of this stash failed (mark_unfinished).
  bool unfinished() const;

  // Removes from `site` the files that a cut install's RECORD lists (as pip's uninstall would)
  // and its dist-info, then puts the kept files back in their places; files no RECORD names,
  // such as the user's conf/ and added jars, stay. Throws std::filesystem::filesystem_error.
  void restore(const std::filesystem::path& site) const;

  // Whether `site` holds a pyspark dist-info without the package, or the package without one:
  // what an interrupted uninstall or install leaves, unlike a deliberate `pip uninstall`.
  static bool half_removed_pyspark_in(const std::filesystem::path& site);

  // Whether `site` holds a pyspark package and a pyspark dist-info with its RECORD.
  static bool complete_pyspark_in(const std::filesystem::path& site);

  // Removes the stash; quietly does nothing when there is none or it cannot.
  void remove() const;

 private:
  std::filesystem::path folder_;
};

// The copy a switch keeps of the installed PySpark, as its executor uses it: a PySparkStash on
// disk, or a fake in tests. The site folder is the one the copy lies in.
class KeptCopy {
 public:
  virtual ~KeptCopy() = default;

  // Where the copy is.
  virtual std::string folder() const = 0;

  // As PySparkStash's; throw std::exception when they cannot.
  virtual void create(const std::string& version, const std::vector<std::string>& files) = 0;
  virtual std::optional<std::string> version() const = 0;
  virtual bool unfinished() const = 0;
  virtual void restore() = 0;
  virtual void mark_unfinished() = 0;
  virtual void remove() = 0;

  // Whether the site folder holds a whole PySpark, or one half removed (an interrupted switch).
  virtual bool site_complete() const = 0;
  virtual bool site_half_removed() const = 0;
};

// The kept copy in `folder` on disk.
std::unique_ptr<KeptCopy> kept_copy_on_disk(const std::string& folder);

}  // namespace plo
