#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace plo {

// A file read whole, or why not. Only regular files are read: a FIFO, a device or a directory
// where a file is expected is refused without waiting for it.
struct FileContents {
  enum class Status { Ok, Unreadable, NotRegular, TooLarge };
  Status status = Status::Unreadable;
  std::string text;
  int error = 0;  // errno when Unreadable
};

// The file, when it is a regular file of at most `max_bytes`.
FileContents read_regular_file(const std::filesystem::path& path, size_t max_bytes);

// The first `max_bytes` of a regular file, or nothing when it cannot be read or is not a regular
// file. Files plo reads for versions are small; the cap keeps a stray huge file from stalling it.
std::optional<std::string> read_file_prefix(const std::filesystem::path& path,
                                            size_t max_bytes = 1 << 20);

}  // namespace plo
