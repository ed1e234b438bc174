#include "cancel/interrupt.h"

#include <pthread.h>

#include <csignal>

namespace plo {
namespace {

volatile std::sig_atomic_t g_pending = 0;

extern "C" void record_interrupt(int signal_number) {
  if (g_pending == 0) g_pending = signal_number;
}

}  // namespace

void install_interrupt_handlers() {
  struct sigaction action {};
  action.sa_handler = record_interrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
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
  sigset_t interrupts;
  sigemptyset(&interrupts);
  sigaddset(&interrupts, SIGINT);
  sigaddset(&interrupts, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &interrupts, &previous_);
}

InterruptsBlocked::~InterruptsBlocked() {
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

int wait_with_interrupts(pollfd* fds, nfds_t count, int timeout_ms) {
  timespec timeout{timeout_ms / 1000, (timeout_ms % 1000) * 1000000L};
  sigset_t while_waiting;
  pthread_sigmask(SIG_SETMASK, nullptr, &while_waiting);
  sigdelset(&while_waiting, SIGINT);
  sigdelset(&while_waiting, SIGTERM);
  return ::ppoll(fds, count, timeout_ms < 0 ? nullptr : &timeout, &while_waiting);
}

}  // namespace plo
