#include "output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "cancel/cancel.h"

namespace plo::cli {

void write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n >= 0) {
      text.remove_prefix(static_cast<size_t>(n));
    } else if (errno == EPIPE || errno == EBADF) {
      throw OutputClosed();
    } else if (errno != EINTR) {
      throw std::system_error(errno, std::generic_category(), "cannot write to standard output");
    }
  }
}

int set_output_aside() {
  const int document_fd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (document_fd < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    throw std::system_error(errno, std::generic_category(), "cannot set up standard output");
  }
  return document_fd;
}

}  // namespace plo::cli
