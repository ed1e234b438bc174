#include "process/posix_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fmt/format.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>

#include "cancel/interrupt.h"
#include "util/text.h"
#include "util/verbosity.h"

extern char** environ;

namespace plo {
namespace {

using Clock = std::chrono::steady_clock;

// While a child that shares plo's terminal runs, its process group is the terminal's foreground
// group, so that its questions (a private index's user name) reach the user instead of stopping
// it with SIGTTIN, and a Ctrl-C reaches it; plo takes the terminal back when it ends. Nothing
// happens where plo has no terminal or is not in its foreground.
class TerminalHandover {
 public:
  explicit TerminalHandover(pid_t group) {
    if (!::isatty(STDIN_FILENO) || ::tcgetpgrp(STDIN_FILENO) != ::getpgrp()) return;
    handed_ = set_foreground(group);
    // The child runs from the moment it is spawned: one that read the terminal before the
    // handover was stopped by SIGTTIN, and now that the terminal is its own it goes on.
    if (handed_) ::killpg(group, SIGCONT);
  }
  TerminalHandover(const TerminalHandover&) = delete;
  TerminalHandover& operator=(const TerminalHandover&) = delete;
  ~TerminalHandover() {
    if (handed_) set_foreground(::getpgrp());
  }

 private:
  // tcsetpgrp from a background group raises SIGTTOU unless it is blocked.
  static bool set_foreground(pid_t group) {
    sigset_t ttou, previous;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    ::pthread_sigmask(SIG_BLOCK, &ttou, &previous);
    const bool done = ::tcsetpgrp(STDIN_FILENO, group) == 0;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return done;
  }

  bool handed_ = false;
};

// Closes a file descriptor when it goes out of scope.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { reset(); }
  int get() const { return fd_; }
  bool open() const { return fd_ >= 0; }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// Throws when a posix_spawn* call reports an error.
void check_spawn(int error, const char* what) {
  if (error != 0) {
    throw ProcessStartError(
        fmt::format("cannot prepare a child process ({}): {}", what, std::strerror(error)));
  }
}

// posix_spawn's attribute and file-action objects, destroyed on every path.
struct SpawnSetup {
  posix_spawnattr_t attr;
  posix_spawn_file_actions_t actions;
  SpawnSetup() {
    check_spawn(posix_spawnattr_init(&attr), "attributes");
    if (const int error = posix_spawn_file_actions_init(&actions)) {
      posix_spawnattr_destroy(&attr);
      check_spawn(error, "file actions");
    }
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
};

std::vector<char*> c_strings(const std::vector<std::string>& items) {
  std::vector<char*> pointers;
  pointers.reserve(items.size() + 1);
  for (const auto& item : items) pointers.push_back(const_cast<char*>(item.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

// fork and exec with PR_SET_PDEATHSIG set in the child, which posix_spawn cannot do; otherwise
// the child starts as posix_spawn would start it. Between fork and exec only async-signal-safe
// calls. An exec failure comes back through a close-on-exec pipe.
pid_t spawn_dying_with_parent(const std::vector<char*>& argv, char* const* envp, bool capture,
                              int out_fd, int err_fd) {
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    throw ProcessStartError(fmt::format("cannot run {}: {}", argv[0], std::strerror(errno)));
  }
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) {
    const int error = errno;
    ::close(report[0]);
    ::close(report[1]);
    throw ProcessStartError(fmt::format("cannot run {}: {}", argv[0], std::strerror(error)));
  }
  if (pid == 0) {
    ::close(report[0]);
    const auto fail = [&] {
      const int error = errno;
      (void)!::write(report[1], &error, sizeof error);
      ::_exit(127);
    };
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) fail();
    if (::getppid() != parent) ::_exit(137);  // plo died before the line above
    if (::setpgid(0, 0) != 0) fail();
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (int signal_number : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
      ::sigaction(signal_number, &defaults, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (capture) {
      const int null = ::open("/dev/null", O_RDONLY);
      if (null < 0 || ::dup2(null, STDIN_FILENO) < 0) fail();
      if (::dup2(out_fd, STDOUT_FILENO) < 0 || ::dup2(err_fd, STDERR_FILENO) < 0) fail();
    }
    ::execve(argv[0], argv.data(), envp);
    fail();
  }
  ::close(report[1]);
  int error = 0;
  ssize_t got;
  do {
    got = ::read(report[0], &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  if (got == static_cast<ssize_t>(sizeof error)) {
    ::waitpid(pid, nullptr, 0);
    throw ProcessStartError(fmt::format("cannot run {}: {}", argv[0], std::strerror(error)));
  }
  return pid;
}

void make_pipe(Fd& read_end, Fd& write_end) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    throw ProcessStartError(fmt::format("cannot create a pipe: {}", std::strerror(errno)));
  }
  read_end.reset(fds[0]);
  write_end.reset(fds[1]);
}

int decode_status(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// Once the child has ended, what it left in the pipes is read for this long at most: a grandchild
// that keeps them open (outside the child's group) cannot hold plo.
constexpr auto kDrainAfterExit = std::chrono::milliseconds(2000);

// Reads what is available, keeping at most ProcessResult::kMaxCapturedBytes and dropping the rest;
// closes the descriptor at end of stream.
void drain(Fd& fd, std::string& into, bool& cut) {
  char chunk[65536];
  const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
  if (n > 0) {
    const size_t room = ProcessResult::kMaxCapturedBytes - into.size();
    const size_t kept = std::min(room, static_cast<size_t>(n));
    into.append(chunk, kept);
    if (kept < static_cast<size_t>(n)) cut = true;
  } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
    fd.reset();
  }
}

// Waits for a started child, collecting its output, enforcing its time limit and passing on
// interrupts.
class Supervisor {
 public:
  Supervisor(pid_t pid, bool own_group, std::optional<Clock::time_point> deadline)
      : pid_(pid), own_group_(own_group), deadline_(deadline) {
    pidfd_.reset(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  }

  ProcessResult wait(Fd& out, Fd& err) {
    const InterruptsBlocked blocked;
    ProcessResult result;
    while (!exited_ || out.open() || err.open()) {
      if (!exited_ && reap(result)) continue;
      if (exited_ && !out.open() && !err.open()) break;

      pollfd fds[3];
      nfds_t count = 0;
      const auto add = [&](int fd) { fds[count++] = pollfd{fd, POLLIN, 0}; };
      if (out.open()) add(out.get());
      if (err.open()) add(err.get());
      if (!exited_ && pidfd_.open()) add(pidfd_.get());

      // The signals stay blocked except inside ppoll, so one that arrives between the check and
      // the wait still wakes it.
      pass_on_interrupt();
      const int ready = wait_with_interrupts(fds, count, poll_timeout_ms());
      if (ready < 0 && errno == EINTR) continue;
      if (deadline_ && Clock::now() >= *deadline_) {
        if (!exited_ && !result.timed_out) {
          result.timed_out = true;
          kill_children(SIGKILL);
        } else if (exited_) {
          out.reset();  // something outside the group holds the pipes open
          err.reset();
        }
      }
      if (exited_ && Clock::now() >= *drain_until_) {
        out.reset();
        err.reset();
      }
      if (ready <= 0) continue;
      nfds_t i = 0;
      if (out.open() && fds[i++].revents) drain(out, result.out, result.out_cut);
      if (err.open() && fds[i++].revents) drain(err, result.err, result.err_cut);
    }
    if (interrupt_) throw Interrupted(interrupt_);
    return result;
  }

 private:
  // Reaps the child if it has ended, without waiting.
  bool reap(ProcessResult& result) {
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done != pid_) return false;
    exited_ = true;
    drain_until_ = Clock::now() + kDrainAfterExit;
    result.exit_code = decode_status(status);
    // Whatever the child left behind in its group goes with it; pipes it holds then close.
    if (own_group_) ::kill(-pid_, SIGKILL);
    return true;
  }

  int poll_timeout_ms() const {
    // Without a pidfd the child's end is noticed by polling waitpid.
    int timeout = (pidfd_.open() || exited_) ? -1 : 20;
    if (exited_) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*drain_until_ - Clock::now());
      timeout = static_cast<int>(std::max<long long>(0, left.count()));
    }
    if (deadline_) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - Clock::now());
      const int left_ms = static_cast<int>(std::max<long long>(0, left.count()));
      timeout = timeout < 0 ? left_ms : std::min(timeout, left_ms);
    }
    return timeout;
  }

  void pass_on_interrupt() {
    const int signal_number = pending_interrupt();
    if (signal_number == 0) return;
    if (interrupt_ == 0) {
      interrupt_ = signal_number;
      interrupts_seen_ = interrupt_count();
      // The child's group is its own, so neither a terminal's signal nor one sent to plo alone
      // reaches it but through here.
      kill_children(signal_number);
    } else if (!exited_ && interrupt_count() > interrupts_seen_) {
      // A second interrupt while the step is still ending: end it now.
      interrupts_seen_ = interrupt_count();
      kill_children(SIGKILL);
    }
  }

  void kill_children(int signal_number) { ::kill(own_group_ ? -pid_ : pid_, signal_number); }

  pid_t pid_;
  bool own_group_;
  std::optional<Clock::time_point> deadline_;
  Fd pidfd_;
  bool exited_ = false;
  std::optional<Clock::time_point> drain_until_;  // set when the child has ended
  int interrupt_ = 0;
  int interrupts_seen_ = 0;
};

// With -v: what a captured child wrote (the smoke test's own output, say), a note per line.
void show_captured(const std::string& program, const ProcessResult& result) {
  if (verbosity() != Verbosity::Verbose) return;
  verbose_note(fmt::format("{} ended with status {}{}", program, result.exit_code,
                           result.timed_out ? " (time limit)" : ""));
  for (const auto& [name, text] : {std::pair{"out", &result.out}, std::pair{"err", &result.err}}) {
    size_t start = 0;
    while (start < text->size()) {
      size_t end = text->find('\n', start);
      if (end == std::string::npos) end = text->size();
      verbose_note(
          fmt::format("  {}| {}", name, std::string_view(*text).substr(start, end - start)));
      start = end + 1;
    }
  }
}

}  // namespace

ProcessResult PosixProcessRunner::run(const ProcessSpec& spec) {
  if (spec.argv.empty()) throw ProcessStartError("no program to run");
  throw_if_interrupted();

  SpawnSetup setup;
  Fd out_read, out_write, err_read, err_write;
  if (spec.capture) {
    make_pipe(out_read, out_write);
    make_pipe(err_read, err_write);
    check_spawn(
        posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0),
        "standard input");
    check_spawn(posix_spawn_file_actions_adddup2(&setup.actions, out_write.get(), STDOUT_FILENO),
                "standard output");
    check_spawn(posix_spawn_file_actions_adddup2(&setup.actions, err_write.get(), STDERR_FILENO),
                "standard error");
  } else if (verbosity() == Verbosity::Quiet) {
    // -q: the child's progress (pip's) is dropped; its errors still reach standard error.
    check_spawn(
        posix_spawn_file_actions_addopen(&setup.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0),
        "standard output");
  }

  // plo ignores SIGPIPE and catches the interrupt signals; the child starts with the defaults.
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int signal_number : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    sigaddset(&defaults, signal_number);
  }
  check_spawn(posix_spawnattr_setsigdefault(&setup.attr, &defaults), "signal defaults");
  sigset_t no_mask;
  sigemptyset(&no_mask);
  check_spawn(posix_spawnattr_setsigmask(&setup.attr, &no_mask), "signal mask");
  // Every child leads a process group of its own, so that plo can end the whole step (pip's
  // builds, a smoke test's JVM) and nothing of it outlives plo.
  const bool own_group = true;
  check_spawn(posix_spawnattr_setpgroup(&setup.attr, 0), "process group");
  check_spawn(posix_spawnattr_setflags(&setup.attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK |
                                                        POSIX_SPAWN_SETPGROUP),
              "flags");

  std::vector<char*> argv = c_strings(spec.argv);
  std::vector<char*> envp;
  if (spec.environment) envp = c_strings(*spec.environment);

  if (verbosity() == Verbosity::Verbose) {
    std::string command;
    for (const std::string& arg : spec.argv) {
      if (!command.empty()) command += ' ';
      command += shell_quoted(arg);
    }
    verbose_note("running " + command);
  }

  const auto started = Clock::now();
  pid_t pid = 0;
  if (spec.die_with_plo) {
    pid = spawn_dying_with_parent(argv, spec.environment ? envp.data() : environ, spec.capture,
                                  out_write.get(), err_write.get());
  } else {
    const int rc = ::posix_spawn(&pid, spec.argv[0].c_str(), &setup.actions, &setup.attr,
                                 argv.data(), spec.environment ? envp.data() : environ);
    if (rc != 0) {
      throw ProcessStartError(fmt::format("cannot run {}: {}", spec.argv[0], std::strerror(rc)));
    }
  }
  out_write.reset();
  err_write.reset();

  std::optional<Clock::time_point> deadline;
  if (spec.time_limit) deadline = started + *spec.time_limit;
  ProcessResult result;
  {
    std::optional<TerminalHandover> terminal;
    if (!spec.capture) terminal.emplace(pid);
    result = Supervisor(pid, own_group, deadline).wait(out_read, err_read);
  }
  // A signal held back while the child was reaped is delivered once the mask is restored: the
  // step was interrupted all the same.
  throw_if_interrupted();
  if (spec.capture) show_captured(spec.argv[0], result);
  return result;
}

}  // namespace plo
