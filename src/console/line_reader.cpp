#include "console/line_reader.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

#include "cancel/interrupt.h"

namespace plo {

std::optional<std::string> LineReader::read_line() {
  for (;;) {
    if (const auto end = buffer_.find('\n'); end != std::string::npos) {
      std::string line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    if (at_end_) {
      if (buffer_.empty()) return std::nullopt;
      return std::exchange(buffer_, {});  // a last line without a line end
    }
    {
      // Wait for input with interrupts let through only inside the wait, so a Ctrl-C that comes
      // just before it is not lost.
      const InterruptsBlocked blocked;
      throw_if_interrupted();
      pollfd input{fd_, POLLIN, 0};
      if (wait_with_interrupts(&input, 1, -1) < 0 && errno == EINTR) continue;
    }
    char chunk[4096];
    const ssize_t n = ::read(fd_, chunk, sizeof chunk);
    if (n > 0) {
      buffer_.append(chunk, static_cast<size_t>(n));
    } else if (n == 0) {
      at_end_ = true;
    } else if (errno != EINTR) {
      at_end_ = true;  // an unreadable input counts as its end
    }
  }
}

}  // namespace plo
