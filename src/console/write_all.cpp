#include "console/write_all.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "cancel/cancel.h"

namespace plo {

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

}  // namespace plo
