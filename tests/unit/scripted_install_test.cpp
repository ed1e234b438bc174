#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "blocks.h"
#include "catalogue_meaning.h"
#include "console/assume_yes_console.h"
#include "fakes.h"

namespace plo::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(RequestedVersion, LinesNameTheCatalogueEntryOtherTextsAreTakenAsTyped) {
  const std::vector<VersionEntry> versions = PYSPARK_VERSIONS;
  const struct {
    std::string text;
    std::optional<std::string> version;
  } cases[] = {
      {"4.1", newest("4.1")},
      {"3.5", newest("3.5")},
      {"3.5.3", "3.5.3"},
      {"9.9", std::nullopt},
      {"4", "4"},
      {"4.1.x", "4.1.x"},
      {"4.1.3.1", "4.1.3.1"},
      {"3.5 ", "3.5 "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(requested_version(c.text, versions), c.version) << c.text;
  }
}

TEST(VersionForCluster, ExactPlainVersionElseTheLinesEntry) {
  const std::vector<VersionEntry> versions = PYSPARK_VERSIONS;
  const struct {
    std::string cluster;
    std::optional<std::string> version;
  } cases[] = {
      {"3.4.1", "3.4.1"},     {"4.1.0-SNAPSHOT", newest("4.1")},
      {"3.5", newest("3.5")}, {"14.3.x-scala2.12", std::nullopt},
      {"3", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(version_for_cluster(c.cluster, versions), c.version) << c.cluster;
  }
  // A line's patch may be the package index's; an exact version stays the cluster's.
  EXPECT_EQ(version_for_cluster("4.1.0-SNAPSHOT", versions, {newer_patch("4.1")}),
            newer_patch("4.1"));
  EXPECT_EQ(version_for_cluster("4.1.0", versions, {newer_patch("4.1")}), "4.1.0");
}

TEST(SetVersionWithVersion, NoMenuNoQuestionThenTheInstallPhase) {
  TaskFixture f;
  f.compat.install(newest("3.5"));
  f.compat.java = JavaInfo{17, "Debian", "/jdk"};
  EXPECT_TRUE(f.task().set_version("4.1"));
  EXPECT_THAT(f.console.questions, IsEmpty());
  EXPECT_THAT(f.runner.steps(), ElementsAre("uninstall", "install:" + newest("4.1"), "smoke"));
  EXPECT_TRUE(has_block(
      f.console.lines,
      {"<cyan!>Select PySpark Version to Install</cyan!>", std::string(50, '='), "",
       "  Current PySpark: " + newest("3.5"), "", "", "<cyan!>Installing PySpark...</cyan!>"}));
  for (const auto& line : f.console.lines)
    EXPECT_THAT(line, ::testing::Not(::testing::HasSubstr("[1]")));
}

TEST(SetVersionWithVersion, AlreadyInstalledAndUnknownLine) {
  TaskFixture f;
  f.compat.install(newest("3.5"));
  EXPECT_TRUE(f.task().set_version("3.5"));
  EXPECT_TRUE(ends_with_block(
      f.console.lines,
      {"", "<green>PySpark " + newest("3.5") + " is already installed</green>", ""}));
  EXPECT_TRUE(f.runner.runs.empty());

  TaskFixture g;
  EXPECT_FALSE(g.task().set_version("9.9"));
  EXPECT_TRUE(ends_with_block(g.console.lines, {"<red>No PySpark 9.9 in plo's version table; give "
                                                "a full version (X.Y.Z) to install it</red>",
                                                ""}));
  EXPECT_TRUE(g.runner.runs.empty());

  TaskFixture h;
  EXPECT_FALSE(h.task().set_version(" "));
  EXPECT_TRUE(ends_with_block(
      h.console.lines,
      {"<red>Name a PySpark version (such as 3.5.9) or a line (such as 3.5)</red>", ""}));
  EXPECT_TRUE(h.runner.runs.empty());
}

TEST(SetVersionWithVersion, WarningWithoutYesAbortsWithoutAnAnswer) {
  TaskFixture f;
  f.compat.install(newest("3.5"));
  f.compat.java = JavaInfo{25, "Temurin", "/jdk25"};
  EXPECT_THROW(f.task().set_version(newest("3.4")), Abort);  // no piped answer: as at the menu
  EXPECT_THAT(f.console.questions, ElementsAre("Install anyway?"));
  EXPECT_TRUE(f.runner.runs.empty());
}

// --yes: the task's console answers for the user and the log shows each answer.
TEST(AssumeYes, AnswersWarningAndRollbackAndEchoesThem) {
  TaskFixture f;
  f.compat.install(newest("3.5"));
  f.compat.java = JavaInfo{25, "Temurin", "/jdk25"};
  f.runner.smoke_outcome = {1, "", "java.lang.UnsupportedClassVersionError", false, false};
  AssumeYesConsole yes(f.console);
  SparkTask task({.console = yes,
                  .compat = f.compat,
                  .runner = f.runner,
                  .interpreter = [] { return std::string("/venv/bin/python"); },
                  .compute_registry = [] { return std::make_unique<FakeRegistry>(); },
                  .databricks = [] { return std::make_unique<FakeDatabricks>(false); }});
  EXPECT_FALSE(task.set_version(newest("3.4")));
  EXPECT_THAT(f.console.questions, IsEmpty());
  EXPECT_TRUE(has_block(f.console.lines,
                        {"     2. Run 'plo java set' first to switch Java", "",
                         "Install anyway? [y/N]: y", "", "<cyan!>Installing PySpark...</cyan!>"}));
  EXPECT_TRUE(has_block(f.console.lines, {"Rollback to PySpark " + newest("3.5") + "? [Y/n]: y", "",
                                          "<yellow>Rolling back...</yellow>"}));
  EXPECT_THAT(f.runner.steps(), ElementsAre("uninstall", "install:" + newest("3.4"), "smoke",
                                            "uninstall", "install:" + newest("3.5")));
}

TEST(InstallForCluster, InstallsWhatFitsTheCluster) {
  struct Case {
    std::string name;
    std::optional<std::string> cluster;
    std::optional<std::string> local;
    std::optional<std::string> installed;  // the version handed to pip
    bool ok;
  } cases[] = {
      {"exact version", "4.1.0", newest("3.5"), "4.1.0", true},
      {"line entry", "4.1.0-SNAPSHOT", newest("3.5"), newest("4.1"), true},
      {"no pyspark yet", "3.5.1", std::nullopt, "3.5.1", true},
      {"match", "3.5.1", newest("3.5"), std::nullopt, true},
      {"unknown line", "14.3.x-scala2.12", newest("3.5"), std::nullopt, false},
      {"not detected", std::nullopt, newest("3.5"), std::nullopt, false},
  };
  for (const auto& c : cases) {
    TaskFixture f;
    if (c.local) f.compat.install(*c.local);
    f.compat.java = JavaInfo{17, "Debian", "/jdk"};
    f.compat.cluster_version = c.cluster;
    f.computes["c"] = ComputeRecord{std::nullopt, std::map<std::string, std::string, std::less<>>{
                                                      {"master", "spark://m:7077"}}};
    EXPECT_EQ(f.task().match_cluster("c", true), c.ok) << c.name;
    const auto steps = f.runner.steps();
    const bool installed =
        std::find(steps.begin(), steps.end(), "install:" + c.installed.value_or("")) != steps.end();
    EXPECT_EQ(installed, c.installed.has_value()) << c.name << "\n" << f.console.text();
    if (!c.installed) {
      EXPECT_TRUE(steps.empty()) << c.name;
    }
  }
  TaskFixture g;
  g.compat.install(newest("3.5"));
  g.compat.cluster_version = "14.3.x-scala2.12";
  g.computes["c"] = ComputeRecord{
      std::nullopt, std::map<std::string, std::string, std::less<>>{{"master", "spark://m:7077"}}};
  g.task().match_cluster("c", true);
  EXPECT_TRUE(ends_with_block(g.console.lines,
                              {"<red>No PySpark version is known for Spark 14.3.x-scala2.12: run "
                               "'plo spark set-version' and enter one</red>",
                               ""}));
}

}  // namespace
}  // namespace plo::testing
