#pragma once

#include <poll.h>
#include <signal.h>

#include "cancel/cancel.h"

namespace plo {

// Raised when SIGINT, SIGTERM, SIGHUP or SIGQUIT arrives while plo waits for a child process or for
// the user.
class Interrupted : public Abort {
 public:
  explicit Interrupted(int signal_number) : signal_number_(signal_number) {}
  int signal_number() const { return signal_number_; }

 private:
  int signal_number_;
};

// Records SIGINT, SIGTERM, SIGHUP (a closed terminal) and SIGQUIT instead of ending plo at once,
// so that a running step can end cleanly. Blocking calls are interrupted (no SA_RESTART) and see
// EINTR. Throws std::system_error when a handler cannot be installed.
void install_interrupt_handlers();

// The first interrupt signal received since the handlers were installed, or 0.
int pending_interrupt();

// How many interrupt signals have arrived in all; a second one while a step ends means "now".
int interrupt_count();

// Throws Interrupted when an interrupt is pending.
void throw_if_interrupted();

}  // namespace plo

namespace plo {

// Forgets a pending interrupt, so that plo can still look around before it stops.
void clear_pending_interrupt();

// Blocks the interrupt signals for its lifetime, so that a check of pending_interrupt() followed by
// wait_with_interrupts() cannot miss a signal that lands between the two.
class InterruptsBlocked {
 public:
  InterruptsBlocked();  // throws std::system_error when the mask cannot be changed
  ~InterruptsBlocked();
  InterruptsBlocked(const InterruptsBlocked&) = delete;
  InterruptsBlocked& operator=(const InterruptsBlocked&) = delete;

 private:
  sigset_t previous_;
};

// poll() that lets the interrupt signals through while it waits (and only then); -1 waits forever.
int wait_with_interrupts(pollfd* fds, nfds_t count, int timeout_ms);

}  // namespace plo
