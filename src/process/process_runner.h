#pragma once

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace plo {

// What to run: an argument list run directly (never through a shell).
struct ProcessSpec {
  std::vector<std::string> argv = {};  // argv[0] is the path of the executable
  // The child's whole environment as "NAME=value" entries; nothing inherits plo's.
  std::optional<std::vector<std::string>> environment = std::nullopt;
  // Capture stdout and stderr (stdin reads /dev/null); otherwise the child shares plo's streams.
  bool capture = true;
  // After this the child's whole process group is killed and the result says timed_out.
  std::optional<std::chrono::milliseconds> time_limit = std::nullopt;
  // The child is killed when plo dies, even by SIGKILL (PR_SET_PDEATHSIG, set before it runs):
  // for a child that plo's own death would otherwise leave running (a smoke test's JVM).
  bool die_with_plo = false;
};

// How a child ended.
struct ProcessResult {
  int exit_code = -1;  // 128 + signal number when it was killed by a signal
  std::string out;     // captured standard output, its first kMaxCapturedBytes
  std::string err;     // captured standard error, likewise
  bool timed_out = false;
  bool out_cut = false;  // the child wrote more to stdout than was kept
  bool err_cut = false;  // likewise for stderr

  // What is kept of each captured stream; the rest is read and dropped.
  static constexpr size_t kMaxCapturedBytes = 1 << 20;
};

// Raised when a program cannot be started at all; the message names the program.
class ProcessStartError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Runs child processes for the task; the seam that tests replace.
class ProcessRunner {
 public:
  virtual ~ProcessRunner() = default;

  // Runs the child to its end (or its time limit). Throws ProcessStartError when it cannot start,
  // and Interrupted when plo is interrupted meanwhile (after the child has ended).
  virtual ProcessResult run(const ProcessSpec& spec) = 0;
};

}  // namespace plo
