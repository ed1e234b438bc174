#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "catalogue_meaning.h"
#include "fakes.h"

namespace plo::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

bool has_line(const FakeConsole& console, const std::string& line) {
  return std::find(console.lines.begin(), console.lines.end(), line) != console.lines.end();
}

TEST(SetVersionMenu, MarksEntriesAgainstJavaAndTheInstalledVersion) {
  TaskFixture f;
  f.compat.install("3.5.9");
  f.compat.java = JavaInfo{17, "Debian", "/jdk"};
  f.compat.versions = {
      {"4.2.0", "4.2", "latest"}, {"3.5.9", "3.5", "stable"}, {"9.0.0", "9.0", "x"}};
  f.console.answers = {FakeConsole::Cancel{}};
  EXPECT_FALSE(f.task().set_version());
  EXPECT_EQ(
      f.console.text(),
      "\n<cyan!>Select PySpark Version to Install</cyan!>\n" + std::string(50, '=') +
          "\n\n"
          "  Current PySpark: 3.5.9\n\n"
          "  [1] PySpark 4.2.0<green> (latest)</green><green> [OK]</green>\n"
          "      Requires Java: 17, 21, 25\n\n"
          "  [2] PySpark 3.5.9<blue> (stable)</blue><green> [OK]</green><cyan> * CURRENT</cyan>\n"
          "      Requires Java: 8, 11, 17\n\n"
          "  [3] PySpark 9.0.0\n"
          "      Requires Java: \n\n"
          "  [4] Custom version\n\n"
          "  Your Java: 17 (Debian)\n"
          "  [OK] = compatible, [!] = requires different Java\n\n"
          "\nAborted.\n");
  EXPECT_THAT(f.compat.calls, ElementsAre("get_current_java", "get_pyspark_info"));
  EXPECT_TRUE(f.runner.runs.empty());
}

TEST(SetVersionMenu, NoJavaNoPySparkMeansNoMarksAndNoLegend) {
  TaskFixture f;
  f.console.answers = {std::string("")};  // then end of input
  EXPECT_FALSE(f.task().set_version());
  for (const auto& line : f.console.lines) {
    EXPECT_THAT(line, ::testing::Not(HasSubstr("[OK]")));
    EXPECT_THAT(line, ::testing::Not(HasSubstr("[!]")));
    EXPECT_THAT(line, ::testing::Not(HasSubstr("CURRENT")));
  }
  EXPECT_FALSE(has_line(f.console, "  [OK] = compatible, [!] = requires different Java"));
}

TEST(SetVersionChoice, OutOfRangeAnswersAskAgainWithTheRange) {
  TaskFixture f;
  f.compat.install(newest("3.5"));
  const std::string past_the_end = std::to_string(std::stoi(custom_menu_entry()) + 1);
  f.console.answers = {std::string("0"),  past_the_end,
                       std::string("-3"), std::string("99999999999999999999999"),
                       std::string("x"),  menu_entry("3.5")};
  EXPECT_TRUE(f.task().set_version());  // the 3.5 line's entry, already installed
  EXPECT_EQ(std::count(f.console.lines.begin(), f.console.lines.end(),
                       "<yellow>Enter 1-" + custom_menu_entry() + "</yellow>"),
            4);
  EXPECT_TRUE(
      has_line(f.console, "<green>PySpark " + newest("3.5") + " is already installed</green>"));
  EXPECT_TRUE(f.runner.runs.empty());
}

TEST(SetVersionChoice, EmptyCatalogueOffersOnlyTheCustomEntry) {
  TaskFixture f;
  f.compat.versions.clear();
  f.console.answers = {std::string("2"), std::string("1"), FakeConsole::Cancel{}};
  EXPECT_THROW(f.task().set_version(), Abort);  // Abort at the custom prompt is not caught
  EXPECT_TRUE(has_line(f.console, "  [1] Custom version"));
  EXPECT_TRUE(has_line(f.console, "<yellow>Enter 1-1</yellow>"));
  EXPECT_THAT(f.console.questions,
              ElementsAre("Your choice", "Your choice", "Enter PySpark version (e.g., 3.4.1)"));
}

TEST(SetVersionChoice, CustomVersionMajorMinorDrivesTheWarning) {
  struct Case {
    std::string typed;
    std::string warning;
  } cases[] = {
      {"4.0.1.dev2", "<yellow>Warning: PySpark 4.0 requires Java 17, 21</yellow>"},
      {"4", ""},  // no record for "4": no warning
  };
  for (const auto& c : cases) {
    TaskFixture f;
    f.compat.java = JavaInfo{11, "Temurin", "/jdk11"};
    f.console.answers = {custom_menu_entry(), c.typed, std::string("n")};
    const bool result = f.task().set_version();
    if (c.warning.empty()) {
      EXPECT_THAT(f.runner.steps(), ElementsAre("install:" + c.typed, "smoke"));
      EXPECT_TRUE(result);
    } else {
      EXPECT_FALSE(result);
      EXPECT_TRUE(has_line(f.console, c.warning)) << f.console.text();
      EXPECT_TRUE(has_line(f.console, "   Your Java: 11"));
      EXPECT_EQ(f.console.questions.back(), "Install anyway?");
      EXPECT_TRUE(f.runner.runs.empty());
    }
  }
}

TEST(SetVersionChoice, CustomAnswerEqualToInstalledIsAlreadyInstalled) {
  TaskFixture f;
  f.compat.install("3.1.2");
  f.compat.java = JavaInfo{17, "Debian", "/jdk"};
  f.console.answers = {custom_menu_entry(), std::string("3.1.2")};
  EXPECT_TRUE(f.task().set_version());
  EXPECT_FALSE(has_line(f.console, "   Options:"));
}

// The install phase, path by path, through set_version with a custom version.
struct PhaseCase {
  std::string name;
  bool installed_before;
  bool new_install_fails;
  bool rollback_install_fails;
  FakeRunner::Outcome smoke;
  std::vector<std::string> extra_answers;
  bool result;
  std::vector<std::string> steps;
  std::vector<std::string> expected_lines;
};

class InstallPhase : public ::testing::TestWithParam<PhaseCase> {};

TEST_P(InstallPhase, FollowsItsPath) {
  const PhaseCase& c = GetParam();
  TaskFixture f;
  f.compat.java = JavaInfo{17, "Debian", "/jdk"};
  if (c.installed_before) f.compat.install(newest("3.5"));
  if (c.new_install_fails) f.runner.install_outcomes[newest("4.1")] = {1, "", "", false, false};
  if (c.rollback_install_fails)
    f.runner.install_outcomes[newest("3.5")] = {1, "", "", false, false};
  f.runner.smoke_outcome = c.smoke;
  f.console.answers = {menu_entry("4.1")};
  for (const auto& a : c.extra_answers) f.console.answers.push_back(a);

  EXPECT_EQ(f.task().set_version(), c.result);
  EXPECT_EQ(f.runner.steps(), c.steps);
  for (const auto& line : c.expected_lines) {
    EXPECT_TRUE(has_line(f.console, line)) << "missing: " << line << "\n" << f.console.text();
  }
}

const FakeRunner::Outcome kPass{0, "OK\n", "", false, false};
const FakeRunner::Outcome kJavaFails{1, "", "java.lang.UnsupportedClassVersionError", false, false};
const FakeRunner::Outcome kTimeout{0, "", "", true, false};
const FakeRunner::Outcome kOtherFailure{1, "", "ImportError: no module", false, false};
// A busy port with a Java the line supports: not Java's fault, though the text names Java.
const FakeRunner::Outcome kPortTaken{
    1, "",
    "26/12/09 WARN Utils: Service 'sparkDriver' could not bind\n"
    "java.net.BindException: Address already in use\n\tat sun.nio.ch.Net.bind0(Native Method)\n"
    "pyspark.errors.exceptions.base.PySparkRuntimeError: [JAVA_GATEWAY_EXITED] Java gateway "
    "process exited before sending its port number.\n",
    false, false};

INSTANTIATE_TEST_SUITE_P(
    Paths, InstallPhase,
    ::testing::Values(
        PhaseCase{"Success",
                  true,
                  false,
                  false,
                  kPass,
                  {},
                  true,
                  {"uninstall", "install:" + newest("4.1"), "smoke"},
                  {"<green>PySpark " + newest("4.1") + " installed successfully</green>",
                   "<green>  Java compatibility verified</green>"}},
        PhaseCase{"FreshSuccess",
                  false,
                  false,
                  false,
                  kPass,
                  {},
                  true,
                  {"install:" + newest("4.1"), "smoke"},
                  {"<cyan!>Installing PySpark...</cyan!>"}},
        PhaseCase{"InstallFailsRollsBack",
                  true,
                  true,
                  false,
                  kPass,
                  {},
                  false,
                  {"uninstall", "install:" + newest("4.1"), "install:" + newest("3.5")},
                  {"<red>Failed to install PySpark " + newest("4.1") + "</red>",
                   "<yellow>Rolling back to PySpark " + newest("3.5") + "...</yellow>",
                   "<green>Restored PySpark " + newest("3.5") + "</green>"}},
        PhaseCase{"InstallAndRollbackFail",
                  true,
                  true,
                  true,
                  kPass,
                  {},
                  false,
                  {"uninstall", "install:" + newest("4.1"), "install:" + newest("3.5")},
                  {"<red>Rollback failed! Run 'plo spark set-version' again</red>"}},
        PhaseCase{"InstallFailsNothingBefore",
                  false,
                  true,
                  false,
                  kPass,
                  {},
                  false,
                  {"install:" + newest("4.1")},
                  {"<red>Failed to install PySpark " + newest("4.1") + "</red>"}},
        PhaseCase{"JavaErrorRollbackAccepted",
                  true,
                  false,
                  false,
                  kJavaFails,
                  {""},
                  false,
                  {"uninstall", "install:" + newest("4.1"), "smoke", "uninstall",
                   "install:" + newest("3.5")},
                  {"<red>Java compatibility error: Java compatibility error</red>",
                   "   PySpark 4.1 requires Java 17, 21", "<yellow>Rolling back...</yellow>",
                   "<green>Restored PySpark " + newest("3.5") + "</green>",
                   "   To use the new version, first run:", "     plo java set"}},
        PhaseCase{"JavaErrorRollbackFails",
                  true,
                  false,
                  true,
                  kJavaFails,
                  {"y"},
                  false,
                  {"uninstall", "install:" + newest("4.1"), "smoke", "uninstall",
                   "install:" + newest("3.5")},
                  {"<red>Rollback failed!</red>"}},
        PhaseCase{"JavaErrorRollbackDeclined",
                  true,
                  false,
                  false,
                  kJavaFails,
                  {"n"},
                  false,
                  {"uninstall", "install:" + newest("4.1"), "smoke"},
                  {"   To fix this, run:", "     plo java set"}},
        PhaseCase{"JavaErrorNothingBefore",
                  false,
                  false,
                  false,
                  kJavaFails,
                  {},
                  false,
                  {"install:" + newest("4.1"), "smoke"},
                  {"   To fix this, run:"}},
        PhaseCase{"TimeoutIsANote",
                  true,
                  false,
                  false,
                  kTimeout,
                  {},
                  true,
                  {"uninstall", "install:" + newest("4.1"), "smoke"},
                  {"<yellow>  Note: Test timed out</yellow>"}},
        PhaseCase{"OtherFailureIsANote",
                  true,
                  false,
                  false,
                  kOtherFailure,
                  {},
                  true,
                  {"uninstall", "install:" + newest("4.1"), "smoke"},
                  {"<yellow>  Note: ImportError: no module</yellow>"}},
        PhaseCase{"OtherFailureNamingJavaIsANote",
                  true,
                  false,
                  false,
                  kPortTaken,
                  {},
                  true,
                  {"uninstall", "install:" + newest("4.1"), "smoke"},
                  {"<yellow>  Note: java.net.BindException: Address already in use</yellow>"}}),
    [](const auto& param_info) { return param_info.param.name; });

TEST(InstallPhaseQuestions, RollbackQuestionDefaultsToYes) {
  TaskFixture f;
  f.compat.install(newest("3.5"));
  f.runner.smoke_outcome = kJavaFails;
  f.console.answers = {menu_entry("4.1"), std::string("")};
  EXPECT_FALSE(f.task().set_version());
  EXPECT_EQ(f.console.questions.back(), "Rollback to PySpark " + newest("3.5") + "?");
  EXPECT_EQ(f.compat.pyspark->version, newest("3.5"));
}

TEST(InstallPhaseQuestions, AbortAtRollbackLeavesTheNewVersion) {
  TaskFixture f;
  f.compat.install(newest("3.5"));
  f.runner.smoke_outcome = kJavaFails;
  f.console.answers = {menu_entry("4.1"), FakeConsole::Cancel{}};
  EXPECT_THROW(f.task().set_version(), Abort);
  EXPECT_EQ(f.compat.pyspark->version, newest("4.1"));
}

}  // namespace
}  // namespace plo::testing
