#pragma once

#include <optional>
#include <string>

namespace plo {

// Reads answers line by line from a file descriptor (a terminal or a pipe), keeping what it read
// past the current line for the next question.
class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}

  // The next line without its line end, or nothing at end of input. Throws Interrupted when an
  // interrupt arrives while it waits.
  std::optional<std::string> read_line();

 private:
  int fd_;
  std::string buffer_;
  bool at_end_ = false;
};

}  // namespace plo
