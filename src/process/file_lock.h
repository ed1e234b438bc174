#pragma once

#include <chrono>
#include <filesystem>
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

// The path that a lock on the file at `path` is keyed on, and beside which that file is written:
// the file after every symbolic link, at its name and in its folders, so that a file reached
// through a link and directly is one file to lock. `path` need not exist. Throws
// std::runtime_error for a loop of links.
std::filesystem::path resolved_file_path(const std::string& path);

// An exclusive flock on a lock file, held for the object's lifetime, so that two plo runs never
// change the same environment or file at once. A lock held by a process that died is free: the
// kernel drops it with the process.
class FileLock {
 public:
  // Takes the lock on `path` (created, mode 0644; opened for reading only, so that a lock file of
  // another user serves as well). A symbolic link at `path` is refused with a LockError that says
  // so, and neither it nor its target is changed. When another process holds the lock, calls
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
