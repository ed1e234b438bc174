#pragma once

namespace plo {

// Raised when the user cancels (end of input at a question, or an interrupt) instead of going on;
// the front end prints "Aborted!". Deliberately not a std::exception, so that the ordinary error
// handling around child processes and lookups never swallows a cancellation.
class Abort {
 public:
  virtual ~Abort() = default;
};

// Raised when standard output is gone (a closed pipe); the front end exits quietly. Not a
// std::exception for the same reason as Abort.
class OutputClosed {};

}  // namespace plo
