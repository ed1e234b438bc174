#include "registry/computes_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "registry/compute_registry.h"
#include "util/text_file.h"

namespace plo {
namespace {

[[noreturn]] void fail(const std::string& path, const std::string& what) {
  throw std::runtime_error(path + ": " + what);
}

std::string errno_text() {
  return std::strerror(errno);
}

// Writes `text` to a fresh file beside `path` with that mode and renames it over `path`.
void replace_file(const std::string& path, const std::string& text, mode_t mode) {
  const std::string temp = path + ".tmp-" + std::to_string(::getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) fail(temp, "cannot be created: " + errno_text());
  ::fchmod(fd, mode);
  size_t done = 0;
  bool ok = true;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  const std::string write_error = ok ? "" : errno_text();
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
    const std::string why = write_error.empty() ? errno_text() : write_error;
    ::unlink(temp.c_str());
    fail(path, "cannot be written: " + why);
  }
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
  if (previous) replace_file(path + ".bak", *previous, mode);
  replace_file(path, text, mode);
}

}  // namespace plo
