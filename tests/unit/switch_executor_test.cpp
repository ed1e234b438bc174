// The switch's plan and its executor over fakes: what is refused before anything changes, and
// that the kept copy survives whatever fails midway.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <variant>

#include "cancel/cancel.h"
#include "cancel/interrupt.h"
#include "fakes.h"
#include "spark/switch_executor.h"

namespace plo::testing {
namespace {

using Kind = SwitchEvent::Kind;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

// A kept copy in memory; each operation can be told to fail.
struct FakeKeptCopy : KeptCopy {
  struct State {
    bool made = false, removed = false, marked = false, restored = false;
    bool create_fails = false, restore_fails = false;
    bool site_complete = true;  // what the environment holds when the executor settles
    std::string version;
  };
  explicit FakeKeptCopy(State& s) : state(s) {}
  std::string folder() const override { return "/venv/site/.plo-pyspark-stash"; }
  void create(const std::string& version, const std::vector<std::string>&) override {
    if (state.create_fails) throw std::runtime_error("No space left on device");
    state.made = true;
    state.version = version;
  }
  std::optional<std::string> version() const override {
    return state.made ? std::optional(state.version) : std::nullopt;
  }
  bool unfinished() const override { return state.marked; }
  void restore() override {
    if (state.restore_fails) throw std::runtime_error("No space left on device");
    state.restored = true;
  }
  void mark_unfinished() override { state.marked = true; }
  void remove() override { state.removed = true; }
  bool site_complete() const override { return state.site_complete; }
  bool site_half_removed() const override { return !state.site_complete; }
  State& state;
};

// A runner that is interrupted when it reaches one step ("uninstall", "install:V", "smoke").
struct InterruptingRunner : ProcessRunner {
  FakeRunner& inner;
  std::string at;
  InterruptingRunner(FakeRunner& r, std::string step) : inner(r), at(std::move(step)) {}
  ProcessResult run(const ProcessSpec& spec) override {
    const size_t before = inner.runs.size();
    const ProcessResult result = inner.run(spec);
    // The step ran (pip changed the environment) and plo was interrupted meanwhile.
    if (inner.runs.size() > before && inner.steps().back() == at) throw Interrupted(2);
    return result;
  }
};

struct ExecutorFixture {
  FakeCompat compat;
  FakeRunner runner{compat};
  FakeKeptCopy::State kept;
  std::vector<SwitchEvent> events;
  bool accept_rollback = true;
  std::map<std::string, std::optional<std::string>> project_files;

  ExecutorFixture() {
    compat.install("3.5.1");
    compat.java = JavaInfo{17, "Debian", "/jdk"};
  }

  SwitchPlan plan() const {
    return {.interpreter = "/venv/bin/python",
            .package = "pyspark",
            .to = "4.0.1",
            .major_minor = "4.0",
            .supported = {17, 21},
            .from = "3.5.1",
            .keep_folder = "/venv/site/.plo-pyspark-stash",
            .keep_files = {"/venv/site/pyspark/__init__.py"}};
  }

  SwitchExecutor executor(ProcessRunner& with) {
    return SwitchExecutor(
        {.compat = compat,
         .runner = with,
         .kept_copy = [this](const std::string&) -> std::unique_ptr<KeptCopy> {
           return std::make_unique<FakeKeptCopy>(kept);
         },
         .probe = [this] { return probe_environment(runner, "python", false); },
         .smoke_test =
             [&with](std::optional<bool>) {
               const auto result = with.run({.argv = {"python", "-c", "x"}});
               return SmokeResult{
                   .ok = result.exit_code == 0,
                   .message = result.exit_code == 0 ? "" : "Java compatibility error",
                   .java_error = result.exit_code != 0};
             },
         .import_check = [](const std::string&) { return SmokeResult{}; },
         .confirm_rollback = [this](const std::string&) { return accept_rollback; },
         .read_project_file = [this](const std::string& f) { return project_files[f]; },
         .put_project_file = [this](const std::string& f,
                                    const std::optional<std::string>& b) { project_files[f] = b; },
         .emit = [this](const SwitchEvent& e) { events.push_back(e); }});
  }

  std::vector<Kind> kinds() const {
    std::vector<Kind> k;
    for (const auto& e : events) k.push_back(e.kind);
    return k;
  }
};

TEST(SwitchExecutor, EndsEachPathWithItsOutcomeAndOwnsTheKeptCopy) {
  struct Case {
    const char* name;
    void (*setup)(ExecutorFixture&);
    bool ok;
    std::string outcome;
    std::vector<std::string> steps;
    bool kept_removed;  // false: it stays, marked unfinished
  } cases[] = {
      {"installed",
       [](ExecutorFixture&) {},
       true,
       "installed",
       {"uninstall", "install:4.0.1", "smoke"},
       true},
      {"install fails, reinstall fails, kept files back",
       [](ExecutorFixture& f) {
         f.runner.install_outcomes["4.0.1"] = {1, "", "ERROR: No matching distribution", false,
                                               false};
         f.runner.install_outcomes["3.5.1"] = {1, "", "offline", false, false};
         f.kept.site_complete = false;
       },
       false,
       "failed",
       {"uninstall", "install:4.0.1", "install:3.5.1"},
       true},
      {"install fails and the kept files cannot go back either",
       [](ExecutorFixture& f) {
         f.runner.install_outcomes["4.0.1"] = {1, "", "", false, false};
         f.runner.install_outcomes["3.5.1"] = {1, "", "", false, false};
         f.kept.site_complete = false;
         f.kept.restore_fails = true;
       },
       false,
       "failed",
       {"uninstall", "install:4.0.1", "install:3.5.1"},
       false},
      {"java error rolled back",
       [](ExecutorFixture& f) {
         f.runner.smoke_outcome = {1, "", "java", false, false};
       },
       false,
       "rolled_back",
       {"uninstall", "install:4.0.1", "smoke", "uninstall", "install:3.5.1"},
       true},
      {"java error, rollback declined",
       [](ExecutorFixture& f) {
         f.runner.smoke_outcome = {1, "", "java", false, false};
         f.accept_rollback = false;
       },
       false,
       "failed",
       {"uninstall", "install:4.0.1", "smoke"},
       true},
      {"the copy cannot be made: nothing runs",
       [](ExecutorFixture& f) { f.kept.create_fails = true; },
       false,
       "failed",
       {},
       true},
      {"a failed uninstall stops the switch",
       [](ExecutorFixture& f) {
         f.runner.uninstall_outcome = {1, "", "", false, false};
       },
       false,
       "failed",
       {"uninstall"},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExecutorFixture f;
    c.setup(f);
    const SwitchResult result = f.executor(f.runner).run(f.plan());
    EXPECT_EQ(result.ok, c.ok);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(f.runner.steps(), c.steps);
    EXPECT_EQ(f.kept.removed, c.kept_removed);
    EXPECT_EQ(f.kept.marked, !c.kept_removed);
    if (!c.ok) {
      EXPECT_FALSE(result.error.empty());
    }
  }
}

TEST(SwitchExecutor, CompanionsMoveInPySparksRunAndGoBackWithItWhenPipCheckFails) {
  for (const bool check_fails : {false, true}) {
    SCOPED_TRACE(check_fails ? "pip check fails" : "pip check holds");
    ExecutorFixture f;
    if (check_fails) {
      f.runner.check_outcome = {
          1,
          "delta-spark 4.0.0 has requirement pyspark<4.1.0,>=4.0.0, but you have pyspark 3.5.9.\n"
          "oldtool 0.1 requires requests, which is not installed.\n",
          "", false, false};
    }
    SwitchPlan plan = f.plan();
    plan.companions = {{"delta-spark", "3.3.0", "4.0.0", "delta-spark==4.0.0", "", ""}};
    const SwitchResult result = f.executor(f.runner).run(plan);
    ASSERT_GE(f.runner.runs.size(), 3u);
    EXPECT_THAT(FakeRunner::beside(f.runner.runs[1]), ::testing::ElementsAre("delta-spark==4.0.0"));
    if (!check_fails) {
      EXPECT_EQ(f.runner.steps(),
                (std::vector<std::string>{"uninstall", "install:4.0.1", "check", "smoke"}));
      EXPECT_EQ(result.outcome, "installed");
      EXPECT_THAT(result.moved, ::testing::ElementsAre("delta-spark 4.0.0"));
      continue;
    }
    EXPECT_EQ(f.runner.steps(), (std::vector<std::string>{"uninstall", "install:4.0.1", "check",
                                                          "uninstall", "install:3.5.1"}));
    EXPECT_THAT(FakeRunner::beside(f.runner.runs.back()),
                ::testing::ElementsAre("delta-spark==3.3.0"));
    EXPECT_EQ(result.outcome, "rolled_back");
    // Only the conflict the switch caused is its to answer for.
    EXPECT_THAT(result.error, HasSubstr("delta-spark 4.0.0"));
    EXPECT_THAT(result.moved, ::testing::IsEmpty());
  }
}

TEST(SwitchExecutor, TheProjectsFilesStayChangedOnlyWhereTheNewVersionStays) {
  struct Case {
    std::string name;
    int tool_exit, smoke_exit;
    bool accept_rollback;
    std::vector<std::string> steps;
    bool changed;  // the project's files hold the tool's change at the end
  } cases[] = {
      {"it works", 0, 0, true, {"project", "uninstall", "install:4.0.1", "smoke"}, true},
      {"the tool fails: nothing else runs", 1, 0, true, {"project"}, false},
      {"rolled back after a Java error",
       0,
       1,
       true,
       {"project", "uninstall", "install:4.0.1", "smoke", "uninstall", "install:3.5.1"},
       false},
      {"the user keeps the new version",
       0,
       1,
       false,
       {"project", "uninstall", "install:4.0.1", "smoke"},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExecutorFixture f;
    f.project_files = {{"/p/pyproject.toml", "old"}, {"/p/uv.lock", std::nullopt}};
    f.runner.project_outcome.exit_code = c.tool_exit;
    f.runner.project_outcome.err = c.tool_exit ? "No solution found\n" : "";
    f.runner.smoke_outcome.exit_code = c.smoke_exit;
    f.runner.on_project = [&f] {
      f.project_files["/p/pyproject.toml"] = "new";
      f.project_files["/p/uv.lock"] = "lock";
    };
    f.accept_rollback = c.accept_rollback;
    SwitchPlan plan = f.plan();
    plan.project = ProjectEdit{.tool = "uv",
                               .commands = {{"/bin/uv", "add", "--no-sync", "pyspark==4.0.1"}},
                               .shown = {"uv add --no-sync pyspark==4.0.1"},
                               .files = {"/p/pyproject.toml", "/p/uv.lock"}};
    const SwitchResult result = f.executor(f.runner).run(plan);
    EXPECT_EQ(f.runner.steps(), c.steps);
    EXPECT_EQ(f.project_files["/p/pyproject.toml"], c.changed ? "new" : "old");
    // A lock the tool created goes again with it.
    EXPECT_EQ(f.project_files["/p/uv.lock"],
              c.changed ? std::optional<std::string>("lock") : std::nullopt);
    if (c.tool_exit) {
      EXPECT_THAT(result.error, HasSubstr("No solution found"));
    }
  }
}

TEST(SwitchExecutor, AnInterruptAtEachStepPutsTheKeptFilesBackAndSaysWhereThingsStand) {
  for (const std::string step : {"uninstall", "install:4.0.1", "smoke"}) {
    SCOPED_TRACE(step);
    ExecutorFixture f;
    f.kept.site_complete = step == "smoke";  // the new version is whole once installed
    InterruptingRunner interrupting(f.runner, step);
    EXPECT_THROW(f.executor(interrupting).run(f.plan()), Interrupted);
    EXPECT_EQ(f.kept.restored, step != "smoke");
    EXPECT_TRUE(f.kept.removed);
    EXPECT_THAT(f.kinds(), Contains(Kind::Interrupted));
  }
}

TEST(SwitchExecutor, ALeftCopyIsPutBackOnlyWhereItsRunCouldNot) {
  ExecutorFixture f;
  f.kept.made = true;
  f.kept.version = "3.5.1";
  EXPECT_TRUE(f.executor(f.runner).settle_left_copy("/venv/site/.plo-pyspark-stash"));
  EXPECT_FALSE(f.kept.restored);
  EXPECT_THAT(f.kinds(), Contains(Kind::StaleCopyCleared));

  ExecutorFixture g;
  g.kept = {.made = true, .marked = true, .restore_fails = true, .version = "3.5.1"};
  EXPECT_FALSE(g.executor(g.runner).settle_left_copy("/venv/site/.plo-pyspark-stash"));
  EXPECT_FALSE(g.kept.removed);  // still the only copy
  EXPECT_THAT(g.kinds(), Contains(Kind::KeptRestoreFailed));
}

// A venv whose site folder holds a pip-installed PySpark.
SwitchFound found_in_venv() {
  SwitchFound found{.interpreter = "/venv/bin/python", .current = "3.5.1"};
  EnvironmentProbe& e = found.environment;
  e.has_pip = true;
  e.in_virtual_env = true;
  e.package = "/venv/site/pyspark";
  e.origin = EnvironmentProbe::Origin::Site;
  e.dist_info = "/venv/site/pyspark-3.5.1.dist-info";
  e.install_to = "/venv/site";
  e.files = {"/venv/site/pyspark/__init__.py"};
  return found;
}

TEST(SwitchPlan, RefusesBeforeAnythingChangesOrPlansTheSteps) {
  struct Case {
    const char* name;
    void (*change)(SwitchFound&, SwitchAsked&);
    std::string refusal;  // a part of the reason; empty: a plan
    std::string mend;     // a part of the first mending line
  } cases[] = {
      {"regular", [](SwitchFound&, SwitchAsked&) {}, "", ""},
      {"externally managed",
       [](SwitchFound& f, SwitchAsked&) {
         f.environment.in_virtual_env = false;
         f.environment.externally_managed = true;
       },
       "is externally managed (PEP 668)", "Use a virtual environment"},
      {"installed by conda", [](SwitchFound& f, SwitchAsked&) { f.environment.conda_owned = true; },
       "was installed by conda", "conda install \"pyspark=4.0.1\""},
      {"neither pip nor uv", [](SwitchFound& f, SwitchAsked&) { f.environment.has_pip = false; },
       "pip is not available for /venv/bin/python", "-m ensurepip"},
      {"user site ahead of the venv",
       [](SwitchFound& f, SwitchAsked&) {
         f.environment.user_site = "/home/u/.local/site";
         f.environment.shadowing_folders = {"/home/u/.local/site"};
         f.environment.base_python = "/usr/bin/python3";
       },
       "comes before /venv/site on the import path", "Remove that copy first"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SwitchFound found = found_in_venv();
    SwitchAsked asked{.version = "4.0.1", .major_minor = "4.0"};
    c.change(found, asked);
    const SwitchDecision decision = plan_switch(found, asked);
    if (c.refusal.empty()) {
      ASSERT_TRUE(std::holds_alternative<SwitchPlan>(decision));
      const auto& plan = std::get<SwitchPlan>(decision);
      EXPECT_EQ(plan.from, "3.5.1");
      EXPECT_EQ(plan.keep_folder, "/venv/site/.plo-pyspark-stash");
      continue;
    }
    ASSERT_TRUE(std::holds_alternative<InstallRefusal>(decision));
    const auto& refusal = std::get<InstallRefusal>(decision);
    EXPECT_THAT(refusal.reason, HasSubstr(c.refusal));
    ASSERT_FALSE(refusal.mend.empty());
    EXPECT_THAT(refusal.mend.front(), HasSubstr(c.mend));
  }
}

TEST(SwitchPlan, UvAskedButPipsOwnSettingsKeepPipAndSaySo) {
  SwitchFound found = found_in_venv();
  found.uv = "/usr/bin/uv";
  found.pip_settings = {{"PIP_INDEX_URL", "index-url"}};
  const auto decision = plan_switch(
      found, {.version = "4.0.1", .major_minor = "4.0", .installer = {"uv", "--installer"}});
  const auto& plan = std::get<SwitchPlan>(decision);
  EXPECT_EQ(plan.installer, InstallerKind::Pip);
  EXPECT_THAT(plan.installer_note, HasSubstr("uv would ignore pip's settings"));
  EXPECT_THAT(plan.installer_note, Not(HasSubstr("https://")));
}

}  // namespace
}  // namespace plo::testing
