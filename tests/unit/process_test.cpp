#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

#include "process/posix_runner.h"
#include "util/environment.h"

namespace plo {
namespace {

using ::testing::HasSubstr;
using namespace std::chrono_literals;

int open_descriptors() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir)) ++count;
    ::closedir(dir);
  }
  return count;
}

ProcessSpec shell(std::string script) {
  return ProcessSpec{.argv = {"/bin/sh", "-c", std::move(script)}};
}

TEST(PosixRunner, CapturesBothStreamsAndTheStatus) {
  PosixProcessRunner runner;
  const ProcessResult r = runner.run(shell("echo out; echo err >&2; exit 3"));
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_EQ(r.out, "out\n");
  EXPECT_EQ(r.err, "err\n");
  EXPECT_FALSE(r.timed_out);
}

TEST(PosixRunner, ChattyChildOnBothStreamsDoesNotStall) {
  PosixProcessRunner runner;
  const ProcessResult r = runner.run(
      shell("head -c 3000000 /dev/zero >&2; head -c 3000000 /dev/zero; head -c 10 /dev/zero >&2"));
  EXPECT_EQ(r.exit_code, 0);
  // The first MiB of each stream is kept, the rest read and dropped.
  EXPECT_EQ(r.out.size(), ProcessResult::kMaxCapturedBytes);
  EXPECT_EQ(r.err.size(), ProcessResult::kMaxCapturedBytes);
  EXPECT_TRUE(r.out_cut);
  EXPECT_TRUE(r.err_cut);
  const ProcessResult small = runner.run(shell("head -c 1048576 /dev/zero"));
  EXPECT_EQ(small.out.size(), ProcessResult::kMaxCapturedBytes);
  EXPECT_FALSE(small.out_cut);
}

TEST(PosixRunner, EndlessOutputIsDroppedUntilTheTimeLimit) {
  PosixProcessRunner runner;
  const ProcessResult r =
      runner.run({.argv = {"/bin/sh", "-c", "cat /dev/zero >&2"}, .time_limit = 500ms});
  EXPECT_TRUE(r.timed_out);
  EXPECT_EQ(r.err.size(), ProcessResult::kMaxCapturedBytes);
  EXPECT_TRUE(r.err_cut);
}

TEST(PosixRunner, GrandchildOutsideTheGroupHoldingThePipesDoesNotHoldUs) {
  PosixProcessRunner runner;
  // setsid puts the grandchild out of reach of the group kill; it keeps stdout open for 30 s.
  const ProcessResult r = runner.run(
      {.argv = {"/bin/sh", "-c", "echo hi; setsid sleep 30 & exit 0"}, .time_limit = 60s});
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "hi\n");
  const ProcessResult unlimited =
      runner.run({.argv = {"/bin/sh", "-c", "echo hi; setsid sleep 30 & exit 0"}});
  EXPECT_EQ(unlimited.out, "hi\n");
}

TEST(PosixRunner, ArgumentsReachTheChildUnchanged) {
  PosixProcessRunner runner;
  const ProcessResult r =
      runner.run({.argv = {"/bin/printf", "%s|", "a b", "$(x)", ";rm", "-y", ""}});
  EXPECT_EQ(r.out, "a b|$(x)|;rm|-y||");
}

TEST(PosixRunner, GivenEnvironmentReplacesOurs) {
  PosixProcessRunner runner;
  const auto env = with_variable({"A=1", "PLO_X=old"}, "PLO_X", "new");
  const ProcessResult r = runner.run({.argv = {"/usr/bin/env"}, .environment = env});
  EXPECT_EQ(r.out, "A=1\nPLO_X=new\n");
}

TEST(PosixRunner, SignalDeathIsReportedAs128PlusSignal) {
  PosixProcessRunner runner;
  EXPECT_EQ(runner.run(shell("kill -9 $$")).exit_code, 128 + SIGKILL);
}

TEST(PosixRunner, MissingProgramIsAStartErrorNamingIt) {
  PosixProcessRunner runner;
  try {
    runner.run({.argv = {"/no/such/python"}});
    FAIL() << "expected ProcessStartError";
  } catch (const ProcessStartError& e) {
    EXPECT_THAT(e.what(), HasSubstr("/no/such/python"));
  }
}

TEST(PosixRunner, TimeLimitKillsTheWholeGroup) {
  PosixProcessRunner runner;
  const std::string pid_file =
      ::testing::TempDir() + "plo-grandchild-" + std::to_string(::getpid()) + ".pid";
  // The grandchild keeps the pipes open and would outlive a kill of the child alone.
  const ProcessResult r =
      runner.run({.argv = {"/bin/sh", "-c", "sleep 300 & echo $! > " + pid_file + "; wait"},
                  .time_limit = 300ms});
  EXPECT_TRUE(r.timed_out);
  pid_t grandchild = 0;
  std::ifstream(pid_file) >> grandchild;
  ASSERT_GT(grandchild, 0);
  // The grandchild was killed; it may linger only as a zombie until init reaps it.
  for (int i = 0; i < 200 && ::kill(grandchild, 0) == 0; ++i) {
    std::ifstream stat("/proc/" + std::to_string(grandchild) + "/stat");
    std::string pid, name, state;
    stat >> pid >> name >> state;
    if (state == "Z" || !stat) break;
    std::this_thread::sleep_for(10ms);
  }
  std::ifstream stat("/proc/" + std::to_string(grandchild) + "/stat");
  std::string pid, name, state;
  stat >> pid >> name >> state;
  EXPECT_TRUE(!stat || state == "Z") << "grandchild still running";
}

TEST(PosixRunner, GrandchildOfAFinishedChildIsCleanedUpWithinTheLimit) {
  PosixProcessRunner runner;
  const ProcessResult r =
      runner.run({.argv = {"/bin/sh", "-c", "sleep 300 & echo done"}, .time_limit = 30s});
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.out, "done\n");
}

TEST(PosixRunner, EveryChildLeadsAGroupThatEndsWithIt) {
  PosixProcessRunner runner;
  // Field 5 of /proc/PID/stat is the process group.
  const ProcessResult own = runner.run(shell("echo $$ $(cut -d' ' -f5 /proc/$$/stat)"));
  std::istringstream words(own.out);
  std::string pid, group;
  words >> pid >> group;
  EXPECT_EQ(pid, group);
  // Without a time limit too, what the child leaves behind goes with it (else this would wait for
  // the sleep, which holds the pipes).
  const ProcessResult r = runner.run(shell("sleep 300 & echo done"));
  EXPECT_EQ(r.out, "done\n");
}

TEST(PosixRunner, ManyRunsLeakNoDescriptorsOrChildren) {
  PosixProcessRunner runner;
  const int before = open_descriptors();
  for (int i = 0; i < 200; ++i) {
    runner.run(i % 2 ? shell("echo x") : ProcessSpec{.argv = {"/bin/true"}, .time_limit = 5s});
    try {
      runner.run({.argv = {"/no/such/program"}});
    } catch (const ProcessStartError&) {
    }
  }
  EXPECT_EQ(open_descriptors(), before);
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);  // no child left to reap
  EXPECT_EQ(errno, ECHILD);
}

TEST(Environment, FindOnPath) {
  EXPECT_TRUE(find_on_path("sh").has_value());
  EXPECT_FALSE(find_on_path("plo-no-such-tool").has_value());
}

}  // namespace
}  // namespace plo
