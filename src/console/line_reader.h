#pragma once

#include <optional>
#include <string>

namespace plo {

// Reads answers line by line from a file descriptor (a terminal or a pipe), keeping what it read
// past the current line for the next question.
class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}

  // The next line without its line end, or nothing at end of input. A line longer than
  // kMaxLineBytes is no answer: the input is given up from there (nothing more is read, so an
  // endless input such as /dev/zero cannot keep plo busy) and overlong() turns true. Throws
  // Interrupted when an interrupt arrives while it waits.
  std::optional<std::string> read_line();

  // Whether the input ended because a line was too long.
  bool overlong() const { return overlong_; }

  static constexpr size_t kMaxLineBytes = 1 << 20;

 private:
  int fd_;
  std::string buffer_;
  size_t start_ = 0;    // where the current line begins in buffer_
  size_t scanned_ = 0;  // bytes after start_ known to hold no line end
  bool at_end_ = false;
  bool overlong_ = false;
};

}  // namespace plo
