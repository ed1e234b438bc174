#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace plo {

// Raised when another process holds the lock past the wait, or the lock file cannot be opened.
class LockError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An exclusive flock on a lock file, held for the object's lifetime, so that two plo runs never
// change the same environment or file at once. A lock held by a process that died is free: the
// kernel drops it with the process.
class FileLock {
 public:
  // Takes the lock on `path` (created, mode 0644, never through a symlink; opened for reading only,
  // so that a lock file of another user serves as well). When another process holds it, calls
  // `on_wait` once and waits up to `patience`, letting interrupts through; then throws LockError.
  // Throws Interrupted when plo is interrupted meanwhile.
  static FileLock acquire(const std::string& path, std::chrono::milliseconds patience,
                          const std::function<void()>& on_wait);

  FileLock(FileLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileLock& operator=(FileLock&&) = delete;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();

 private:
  explicit FileLock(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace plo
