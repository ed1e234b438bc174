#include "console/line_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cancel/interrupt.h"

namespace plo {

std::optional<std::string> LineReader::read_line() {
  for (;;) {
    // Each byte is looked at once: the search goes on where the last one stopped.
    const void* found =
        std::memchr(buffer_.data() + start_ + scanned_, '\n', buffer_.size() - start_ - scanned_);
    if (found) {
      const size_t end = static_cast<const char*>(found) - buffer_.data();
      if (end - start_ > kMaxLineBytes) break;
      std::string line = buffer_.substr(start_, end - start_);
      start_ = end + 1;
      scanned_ = 0;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    scanned_ = buffer_.size() - start_;
    if (scanned_ > kMaxLineBytes) break;
    if (at_end_) {
      if (scanned_ == 0) return std::nullopt;
      std::string line = buffer_.substr(start_);  // a last line without a line end
      buffer_.clear();
      start_ = scanned_ = 0;
      return line;
    }
    // Drop the lines already handed out before the buffer grows.
    if (start_ > 0) {
      buffer_.erase(0, start_);
      start_ = 0;
    }
    {
      // Wait for input with interrupts let through only inside the wait, so a Ctrl-C that comes
      // just before it is not lost.
      const InterruptsBlocked blocked;
      throw_if_interrupted();
      pollfd input{fd_, POLLIN, 0};
      if (wait_with_interrupts(&input, 1, -1) < 0 && errno == EINTR) continue;
    }
    char chunk[65536];
    const ssize_t n = ::read(fd_, chunk, sizeof chunk);
    if (n > 0) {
      buffer_.append(chunk, static_cast<size_t>(n));
    } else if (n == 0) {
      at_end_ = true;
    } else if (errno != EINTR && errno != EAGAIN) {
      at_end_ = true;  // an unreadable input counts as its end
    }
  }
  overlong_ = true;
  at_end_ = true;
  buffer_.clear();
  start_ = scanned_ = 0;
  return std::nullopt;
}

}  // namespace plo
