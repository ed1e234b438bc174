#include "util/atomic_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "util/posix_file.h"

namespace plo {
namespace {

namespace fs = std::filesystem;

// Whether a folder may hold a file plo writes through a link: the user's own, or the system's
// when nobody else can write there.
bool folder_is_trusted(const struct stat& folder) {
  if (folder.st_uid == ::geteuid()) return true;
  return folder.st_uid == 0 && (folder.st_mode & S_IWOTH) == 0;
}

void sync_folder(const fs::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // the rename is durable only once the folder is; failing here loses nothing
  ::close(fd);
}

}  // namespace

fs::path link_target(const fs::path& path) {
  fs::path current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    std::error_code error;
    const fs::path next = fs::read_symlink(current, error);
    if (error) throw_file_error(current, "read the link", error.value());
    current = next.is_absolute() ? next : current.parent_path() / next;
    current = current.lexically_normal();
  }
  throw_file_error(path, "follow the links at", ELOOP);
}

void write_file_atomically(const fs::path& path, std::string_view contents, mode_t new_mode) {
  const fs::path target = link_target(path);
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  if (target != path) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0 && !folder_is_trusted(info)) {
      throw std::runtime_error(
          fmt::format("{} links to {}, in a folder of another user: not writing through the link",
                      path.string(), target.string()));
    }
  }
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) throw_file_error(folder, "create", error.value());

  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) {
    throw std::runtime_error(fmt::format("cannot write {}: not a regular file", target.string()));
  }
  std::string temp = (folder / ("." + target.filename().string() + ".plo-XXXXXX")).string();
  UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (fd.get() < 0) throw_file_error(target, "write a temporary file beside", errno);
  const auto discard = [&](std::string_view what, int saved) {
    ::unlink(temp.c_str());
    throw_file_error(target, what, saved);
  };
  if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
    if (::fchown(fd.get(), old.st_uid, old.st_gid) != 0 && old.st_uid != ::geteuid()) {
      discard("keep the owner of", errno);  // another user's file would become the user's
    }
  }
  // After fchown, which may clear set-id bits.
  if (::fchmod(fd.get(), exists ? (old.st_mode & 07777) : new_mode) != 0) discard("write", errno);
  size_t written = 0;
  while (written < contents.size()) {
    const ssize_t put = ::write(fd.get(), contents.data() + written, contents.size() - written);
    if (put < 0) {
      if (errno == EINTR) continue;
      discard("write", errno);
    }
    written += static_cast<size_t>(put);
  }
  if (::fsync(fd.get()) != 0) discard("write", errno);
  if (::close(fd.release()) != 0) discard("write", errno);
  if (::rename(temp.c_str(), target.c_str()) != 0) discard("replace", errno);
  sync_folder(folder);
}

}  // namespace plo
