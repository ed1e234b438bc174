#include "process/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cancel/interrupt.h"
#include "util/atomic_write.h"
#include "util/escape.h"

namespace plo {
namespace {

constexpr int kPollMs = 100;

}  // namespace

std::filesystem::path resolved_file_path(const std::string& path) {
  namespace fs = std::filesystem;
  const fs::path target = link_target(path);
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::error_code error;
  fs::path real_folder = fs::weakly_canonical(fs::absolute(folder, error), error);
  if (error) real_folder = fs::absolute(folder, error).lexically_normal();
  return real_folder / target.filename();
}

FileLock FileLock::acquire(const std::string& path, std::chrono::milliseconds patience,
                           const std::function<void()>& on_wait) {
  const int fd = ::open(path.c_str(),
                        O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0644);
  if (fd < 0) {
    const int saved = errno;
    struct stat info {};
    if (saved == ELOOP && ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
      // O_NOFOLLOW refused it: a planted link must not get plo to create or lock its target.
      throw LockError("the lock file " + escape_controls(path) +
                      " is a symbolic link; plo does not follow it. Remove the link and try again");
    }
    throw LockError("cannot open the lock file " + escape_controls(path) + ": " +
                    std::strerror(saved));
  }
  FileLock lock(fd);
  const auto deadline = std::chrono::steady_clock::now() + patience;
  bool told = false;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return lock;
    if (errno == EINTR) {
      throw_if_interrupted();
      continue;
    }
    if (errno != EWOULDBLOCK) {
      throw LockError("cannot lock " + path + ": " + std::strerror(errno));
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) throw LockError("another plo is still working on it");
    if (!told && on_wait) {
      on_wait();
      told = true;
    }
    // flock has no timed form: poll it, sleeping in ppoll so that an interrupt ends the wait.
    InterruptsBlocked blocked;
    throw_if_interrupted();
    wait_with_interrupts(nullptr, 0, static_cast<int>(std::min<long long>(kPollMs, left.count())));
    throw_if_interrupted();
  }
}

FileLock::~FileLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace plo
