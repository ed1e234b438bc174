#pragma once

#include <unistd.h>

#include <filesystem>
#include <string_view>

namespace plo {

// Closes a file descriptor when it goes out of scope, unless release()d.
class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// Throws "cannot <what> <file>: <strerror(error)>", naming the real cause (ENOSPC, EACCES, ...).
[[noreturn]] void throw_file_error(const std::filesystem::path& file, std::string_view what,
                                   int error);

}  // namespace plo
