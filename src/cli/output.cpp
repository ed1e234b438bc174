#include "output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace plo::cli {

int set_output_aside() {
  const int document_fd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (document_fd < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    throw std::system_error(errno, std::generic_category(), "cannot set up standard output");
  }
  return document_fd;
}

}  // namespace plo::cli
