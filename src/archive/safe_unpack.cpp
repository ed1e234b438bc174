#include "archive/safe_unpack.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "archive/loaded_libraries.h"
#include "cancel/interrupt.h"
#include "util/escape.h"

namespace plo {
namespace {

namespace fs = std::filesystem;

using Reader = std::unique_ptr<struct archive, int (*)(struct archive*)>;

[[noreturn]] void refuse(std::string_view entry, std::string_view why) {
  throw UnsafeArchive("the archive's entry '" + escape_controls(entry) + "' " + std::string(why));
}

std::string error_of(struct archive* a) {
  const char* text = libarchive().archive_error_string(a);
  return text ? escape_controls(text) : "unknown error";
}

// What the disk said: libarchive's text and the system's reason ("Write failed: No space left on
// device").
std::string disk_error_of(struct archive* a) {
  std::string text = error_of(a);
  const int code = libarchive().archive_errno(a);
  if (code > 0) {
    const std::string reason = std::strerror(code);
    if (text.find(reason) == std::string::npos) text += ": " + reason;
  }
  return text;
}

// A write to disk must end in ARCHIVE_OK: a failed or short write() comes back as ARCHIVE_WARN,
// and letting it through would leave a truncated file taken for a whole one.
void check_written(struct archive* writer, int rc, std::string_view what, std::string_view name) {
  if (rc == ARCHIVE_OK) return;
  throw std::runtime_error(std::string(what) + " '" + escape_controls(name) +
                           "': " + disk_error_of(writer));
}

// The parts of a path, without empty and "." parts.
std::vector<std::string_view> parts_of(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    const auto slash = path.find('/');
    const std::string_view part = path.substr(0, slash);
    if (!part.empty() && part != ".") parts.push_back(part);
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return parts;
}

// The entry's path relative to the folder, or a refusal; empty for the folder itself.
std::string relative_path(std::string_view name) {
  if (name.starts_with('/')) refuse(name, "has an absolute path");
  std::string relative;
  for (const std::string_view part : parts_of(name)) {
    if (part == "..") refuse(name, "leads out of the folder (..)");
    if (!relative.empty()) relative += '/';
    relative += part;
  }
  return relative;
}

// Whether a symbolic link at `relative` with that target stays inside the folder, judged on the
// text alone (the tree is checked again on disk once unpacked).
bool link_stays_inside(const std::string& relative, std::string_view target) {
  if (target.empty() || target.starts_with('/')) return false;
  long depth = static_cast<long>(parts_of(relative).size()) - 1;  // the link's own folder
  for (const std::string_view part : parts_of(target)) {
    depth += part == ".." ? -1 : 1;
    if (depth < 0) return false;
  }
  return true;
}

bool inside(const fs::path& path, const fs::path& root) {
  auto p = path.begin();
  for (auto r = root.begin(); r != root.end(); ++r, ++p) {
    if (p == path.end() || *p != *r) return false;
  }
  return true;
}

// Every link of the unpacked tree, resolved on disk, must end inside the folder.
void check_tree(const fs::path& root) {
  const fs::path real_root = fs::canonical(root);
  std::error_code error;
  for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
       it.increment(error)) {
    const auto status = it->symlink_status();
    if (fs::is_symlink(status)) {
      std::error_code resolve_error;
      const fs::path target = fs::weakly_canonical(it->path(), resolve_error);
      if (resolve_error || !inside(target, real_root)) {
        refuse(fs::relative(it->path(), root).string(), "is a link pointing outside the folder");
      }
    } else if (!fs::is_regular_file(status) && !fs::is_directory(status)) {
      refuse(fs::relative(it->path(), root).string(), "is not a file, folder or link");
    }
  }
  if (error) throw UnsafeArchive("cannot check the unpacked files: " + error.message());
}

}  // namespace

void unpack_archive(const std::string& archive_path, const std::string& into,
                    const UnpackLimits& limits) {
  const LibArchive& lib = libarchive();
  Reader reader(lib.archive_read_new(), lib.archive_read_free);
  Reader writer(lib.archive_write_disk_new(), lib.archive_write_free);
  if (!reader || !writer) throw std::runtime_error("cannot start libarchive");
  // Only formats and filters libarchive reads itself: never an outside program.
  if (lib.archive_read_support_format_tar(reader.get()) != ARCHIVE_OK ||
      lib.archive_read_support_filter_gzip(reader.get()) != ARCHIVE_OK) {
    throw std::runtime_error("this libarchive cannot read .tar.gz archives by itself");
  }
  lib.archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM |
                                                       ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                                       ARCHIVE_EXTRACT_SECURE_NODOTDOT);
  if (lib.archive_read_open_filename(reader.get(), archive_path.c_str(), 64 << 10) != ARCHIVE_OK) {
    throw UnsafeArchive("cannot read the archive: " + error_of(reader.get()));
  }

  const std::string root = fs::path(into).lexically_normal().string();
  std::set<std::string> files;  // regular files unpacked so far: what a hard link may name
  std::uint64_t total = 0;
  std::size_t entries = 0;
  struct archive_entry* entry = nullptr;
  for (;;) {
    throw_if_interrupted();
    const int rc = lib.archive_read_next_header(reader.get(), &entry);
    if (rc == ARCHIVE_EOF) break;
    if (rc < ARCHIVE_WARN) throw UnsafeArchive("the archive is damaged: " + error_of(reader.get()));
    if (++entries > limits.max_entries) {
      throw UnsafeArchive("the archive holds more than " + std::to_string(limits.max_entries) +
                          " entries");
    }
    const char* raw_name = lib.archive_entry_pathname(entry);
    if (!raw_name) throw UnsafeArchive("the archive holds an entry without a name");
    const std::string name = raw_name;
    const std::string relative = relative_path(name);
    if (relative.empty()) continue;  // the folder itself

    std::optional<std::string> hard_target;
    if (const char* hard = lib.archive_entry_hardlink(entry)) {
      const std::string target = relative_path(hard);
      if (!files.contains(target)) refuse(name, "is a hard link to a file outside the archive");
      hard_target = root + "/" + target;
    } else {
      switch (lib.archive_entry_filetype(entry)) {
        case AE_IFREG:
          break;
        case AE_IFDIR:
          // Kept writable by its owner so that a failed or later uninstall can remove it.
          lib.archive_entry_set_perm(entry, (lib.archive_entry_perm(entry) & 0777) | 0700);
          break;
        case AE_IFLNK: {
          const char* target = lib.archive_entry_symlink(entry);
          if (!target || !link_stays_inside(relative, target)) {
            refuse(name, "is a link pointing outside the folder");
          }
          break;
        }
        case AE_IFCHR:
        case AE_IFBLK:
          refuse(name, "is a device file");
        case AE_IFIFO:
          refuse(name, "is a FIFO");
        default:
          refuse(name, "is not a file, folder or link");
      }
    }
    if (lib.archive_entry_filetype(entry) == AE_IFREG) {
      lib.archive_entry_set_perm(entry, lib.archive_entry_perm(entry) & 0777);  // no set-id bits
      const la_int64_t size = lib.archive_entry_size(entry);
      if (size < 0 || static_cast<std::uint64_t>(size) > limits.max_bytes - total) {
        throw UnsafeArchive("the archive unpacks to more than " + std::to_string(limits.max_bytes) +
                            " bytes");
      }
    }

    lib.archive_entry_set_pathname(entry, (root + "/" + relative).c_str());
    if (hard_target) lib.archive_entry_set_hardlink(entry, hard_target->c_str());
    check_written(writer.get(), lib.archive_write_header(writer.get(), entry), "cannot unpack",
                  name);
    if (!hard_target && lib.archive_entry_filetype(entry) == AE_IFREG) {
      const void* block = nullptr;
      size_t length = 0;
      la_int64_t offset = 0;
      for (;;) {
        throw_if_interrupted();
        const int read = lib.archive_read_data_block(reader.get(), &block, &length, &offset);
        if (read == ARCHIVE_EOF) break;
        if (read < ARCHIVE_WARN) {
          throw UnsafeArchive("the archive is damaged: " + error_of(reader.get()));
        }
        total += length;
        if (total > limits.max_bytes) {
          throw UnsafeArchive("the archive unpacks to more than " +
                              std::to_string(limits.max_bytes) + " bytes");
        }
        // ARCHIVE_OK, or from libarchive 4 on the length written.
        const la_ssize_t put = lib.archive_write_data_block(writer.get(), block, length, offset);
        check_written(writer.get(),
                      put == static_cast<la_ssize_t>(length) ? ARCHIVE_OK : static_cast<int>(put),
                      "cannot write", name);
      }
      files.insert(relative);
    }
    check_written(writer.get(), lib.archive_write_finish_entry(writer.get()), "cannot finish",
                  name);
  }
  if (lib.archive_write_close(writer.get()) != ARCHIVE_OK) {
    throw std::runtime_error("cannot finish unpacking: " + disk_error_of(writer.get()));
  }
  check_tree(into);
}

}  // namespace plo
