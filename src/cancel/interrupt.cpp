#include "cancel/interrupt.h"

#include <pthread.h>

#include <cerrno>
#include <csignal>
#include <system_error>

namespace plo {
namespace {

volatile std::sig_atomic_t g_pending = 0;
volatile std::sig_atomic_t g_count = 0;

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void record_interrupt(int signal_number) {
  if (g_pending == 0) g_pending = signal_number;
  g_count = g_count + 1;
}

sigset_t interrupt_set() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : kInterrupts) sigaddset(&set, signal_number);
  return set;
}

}  // namespace

void install_interrupt_handlers() {
  struct sigaction action {};
  action.sa_handler = record_interrupt;
  sigfillset(&action.sa_mask);  // one handler at a time
  action.sa_flags = 0;
  for (int signal_number : kInterrupts) {
    if (::sigaction(signal_number, &action, nullptr) != 0) {
      throw std::system_error(errno, std::generic_category(), "cannot install a signal handler");
    }
  }
}

int interrupt_count() {
  return g_count;
}

int pending_interrupt() {
  return g_pending;
}

void throw_if_interrupted() {
  if (const int signal_number = pending_interrupt()) throw Interrupted(signal_number);
}

}  // namespace plo

namespace plo {

void clear_pending_interrupt() {
  g_pending = 0;
}

}  // namespace plo

namespace plo {

InterruptsBlocked::InterruptsBlocked() {
  const sigset_t interrupts = interrupt_set();
  if (const int error = pthread_sigmask(SIG_BLOCK, &interrupts, &previous_)) {
    throw std::system_error(error, std::generic_category(), "cannot block signals");
  }
}

InterruptsBlocked::~InterruptsBlocked() {
  // Setting a mask read back from the same call cannot fail (only a bad `how` can).
  (void)pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

int wait_with_interrupts(pollfd* fds, nfds_t count, int timeout_ms) {
  timespec timeout{timeout_ms / 1000, (timeout_ms % 1000) * 1000000L};
  sigset_t while_waiting;
  if (const int error = pthread_sigmask(SIG_SETMASK, nullptr, &while_waiting)) {
    errno = error;
    return -1;
  }
  for (int signal_number : kInterrupts) sigdelset(&while_waiting, signal_number);
  return ::ppoll(fds, count, timeout_ms < 0 ? nullptr : &timeout, &while_waiting);
}

}  // namespace plo
