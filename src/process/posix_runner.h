#pragma once

#include "process/process_runner.h"

namespace plo {

// Runs children with posix_spawn; captured output is read with poll so that neither stream can
// fill up and stall the child. Each child gets a process group of its own, which gets plo's
// interrupts and is killed as a whole when the child ends, so that no grandchild (a JVM, say)
// outlives it.
class PosixProcessRunner : public ProcessRunner {
 public:
  ProcessResult run(const ProcessSpec& spec) override;
};

}  // namespace plo
