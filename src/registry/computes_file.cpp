#include "registry/computes_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "registry/compute_registry.h"
#include "util/atomic_write.h"
#include "util/text_file.h"

namespace plo {
namespace {

[[noreturn]] void fail(const std::string& path, const std::string& what) {
  throw std::runtime_error(path + ": " + what);
}

}  // namespace

std::optional<std::string> read_computes_for_edit(const std::string& path) {
  FileContents contents = read_regular_file(path, YamlComputeRegistry::kMaxFileBytes);
  switch (contents.status) {
    case FileContents::Status::Ok:
      return std::move(contents.text);
    case FileContents::Status::NotRegular:
      fail(path, "not a regular file");
    case FileContents::Status::TooLarge:
      fail(path, "larger than 4 MiB; a compute config is a few lines");
    case FileContents::Status::Unreadable:
      if (contents.error == ENOENT) return std::nullopt;
      fail(path, std::string("cannot be read (") + std::strerror(contents.error) + ")");
  }
  return std::nullopt;
}

void write_computes(const std::string& path, const std::string& text,
                    const std::optional<std::string>& previous) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) fail(folder.string(), "cannot be created: " + error.message());
  }
  mode_t mode = 0600;  // a new file may come to hold tokens
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) mode = info.st_mode & 07777;
  // The backup holds the same secrets: a new one gets the file's own mode.
  if (previous) {
    write_file_atomically(path + ".bak", *previous, mode);
    ::chmod(link_target(path + ".bak").c_str(), mode);  // an older, looser backup included
  }
  write_file_atomically(path, text, 0600);
}

}  // namespace plo
