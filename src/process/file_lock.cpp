#include "process/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cancel/interrupt.h"

namespace plo {
namespace {

constexpr int kPollMs = 100;

}  // namespace

FileLock FileLock::acquire(const std::string& path, std::chrono::milliseconds patience,
                           const std::function<void()>& on_wait) {
  const int fd = ::open(path.c_str(),
                        O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0644);
  if (fd < 0) {
    throw LockError("cannot open the lock file " + path + ": " + std::strerror(errno));
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
