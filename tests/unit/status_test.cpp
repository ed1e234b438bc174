#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "blocks.h"
#include "catalogue_meaning.h"
#include "fakes.h"

namespace plo::testing {
namespace {

using ::testing::ElementsAre;

TEST(Check, WithoutPySparkNeverAsksForJava) {
  TaskFixture f;
  EXPECT_FALSE(f.task().check());
  EXPECT_EQ(f.console.text(), "\n<cyan!>PySpark Status</cyan!>\n" + std::string(40, '-') +
                                  "\n<red>  PySpark not installed!</red>\n\n"
                                  "  Install with: pip install pyspark\n"
                                  "  Or run 'plo spark set-version' to select a version\n\n");
  EXPECT_EQ(f.console.lines.size(), 8u);
  EXPECT_THAT(f.compat.calls, ElementsAre("get_pyspark_info"));
}

TEST(Check, CompatibleJavaReportsGreenAndTrue) {
  TaskFixture f;
  f.compat.install(newest("3.5"));
  f.compat.java = JavaInfo{17, "Debian", "/usr/lib/jvm/java-17-openjdk-amd64"};
  EXPECT_TRUE(f.task().check());
  EXPECT_EQ(f.console.text(), "\n<cyan!>PySpark Status</cyan!>\n" + std::string(40, '-') +
                                  "\n"
                                  "  Version:       " +
                                  newest("3.5") +
                                  "\n"
                                  "  Major.Minor:   3.5\n"
                                  "  Required Java: 8, 11, 17\n"
                                  "  Recommended:   Java 17\n"
                                  "\n<cyan!>Java Compatibility</cyan!>\n" +
                                  std::string(40, '-') +
                                  "\n"
                                  "  JAVA_HOME: /usr/lib/jvm/java-17-openjdk-amd64\n"
                                  "  Version:   Java 17\n"
                                  "  Vendor:    Debian\n"
                                  "\n<green>  Java 17 is compatible with PySpark 3.5</green>\n\n");
  EXPECT_EQ(f.console.lines.size(), 16u);
  EXPECT_THAT(f.compat.calls, ElementsAre("get_pyspark_info", "get_current_java",
                                          "check_java_pyspark_compatibility"));
}

TEST(Check, IncompatibleJavaAddsTheHintAndReturnsFalse) {
  TaskFixture f;
  f.compat.install(newest("3.5"));
  f.compat.java = JavaInfo{25, "Eclipse Adoptium", "/jdk25"};
  EXPECT_FALSE(f.task().check());
  EXPECT_EQ(f.console.lines.size(), 18u);
  EXPECT_TRUE(ends_with_block(
      f.console.lines,
      {"  Vendor:    Eclipse Adoptium", "",
       "<red>  Java 25 is not compatible with PySpark 3.5 (supported: Java 8, 11, 17)</red>", "",
       "  Run 'plo java set' to select a compatible Java version", ""}))
      << f.console.text();
}

TEST(Check, WithoutJavaNamesTheRequirement) {
  TaskFixture f;
  f.compat.install(newest("4.2"));
  EXPECT_FALSE(f.task().check());
  EXPECT_EQ(f.console.lines.size(), 17u);
  EXPECT_TRUE(ends_with_block(
      f.console.lines,
      {"<cyan!>Java Compatibility</cyan!>", std::string(40, '-'), "<red>  Java not found!</red>",
       "", "  PySpark " + newest("4.2") + " requires Java 17, 21, 25", "",
       "  Run 'plo java search' to find Java installations",
       "  Run 'plo java install' for installation guide", ""}))
      << f.console.text();
  EXPECT_THAT(f.compat.calls, ElementsAre("get_pyspark_info", "get_current_java"));
}

TEST(Check, LineWithoutTableDataShowsEmptyListAndQuestionMark) {
  TaskFixture f;
  f.compat.install("2.3.4");
  f.compat.java = JavaInfo{8, "Unknown", "/jdk8"};
  EXPECT_FALSE(f.task().check());
  EXPECT_TRUE(has_block(f.console.lines, {"  Major.Minor:   2.3",
                                          "  Required Java: ", "  Recommended:   Java ?", ""}));
  EXPECT_TRUE(has_block(f.console.lines,
                        {"", "<red>  No Java compatibility data for PySpark 2.3</red>", ""}));
}

// A companion that does not fit adds nothing to the report on standard output: one line on
// standard error with its fix, and the result is false.
TEST(Check, ACompanionThatDoesNotFitIsALineOnStandardError) {
  TaskFixture fits, broken;
  for (TaskFixture* f : {&fits, &broken}) {
    f->compat.install(newest("4.0"));
    f->compat.java = JavaInfo{17, "Debian", "/jdk17"};
    f->compat.beside.pyspark = DistributionMetadata{"pyspark", newest("4.0")};
  }
  fits.compat.beside.candidates = {{"delta-spark", "4.0.0", {"pyspark<4.1.0,>=4.0.0"}}};
  broken.compat.beside.candidates = {{"delta-spark", "3.3.0", {"pyspark<3.6.0,>=3.5.3"}},
                                     {"numpy", "2.1.3"}};
  EXPECT_TRUE(fits.task().check());
  EXPECT_TRUE(fits.console.err_lines.empty());
  EXPECT_FALSE(broken.task().check());
  EXPECT_EQ(broken.console.text(), fits.console.text());
  EXPECT_THAT(broken.console.err_lines,
              ElementsAre("delta-spark 3.3.0 requires pyspark<3.6.0,>=3.5.3, but PySpark is " +
                          newest("4.0") +
                          ". Fix: /venv/bin/python -m pip install 'delta-spark==4.0.*' "
                          "pyspark==" +
                          newest("4.0")));
}

TEST(ShowVersions, PrintsEveryEntryWithMarksAndTheEnvironment) {
  TaskFixture f;
  f.compat.versions = {{newest("3.5"), "3.5", "stable"},
                       {"9.9.0", "9.9", "Latest"},
                       {newest("4.2"), "4.2", "latest"}};
  f.compat.table["4.2"].recommended.reset();
  f.compat.install(newest("3.5"));
  f.compat.java = JavaInfo{17, "Debian", "/jdk"};
  f.task().show_versions();
  EXPECT_EQ(f.console.text(), "\n<cyan!>PySpark/Java Compatibility Matrix</cyan!>\n" +
                                  std::string(60, '=') +
                                  "\n\nAvailable PySpark Versions:\n\n"
                                  "  PySpark " +
                                  newest("3.5") +
                                  "<blue> (stable)</blue><green> * INSTALLED</green>\n"
                                  "    Java Required:    8, 11, 17\n"
                                  "    Java Recommended: 17\n\n"
                                  "  PySpark 9.9.0\n"
                                  "    Java Required:    \n"
                                  "    Java Recommended: ?\n\n"
                                  "  PySpark " +
                                  newest("4.2") +
                                  "<green> (latest)</green>\n"
                                  "    Java Required:    17, 21, 25\n"
                                  "    Java Recommended: 17\n\n" +
                                  std::string(60, '-') +
                                  "\n\nCurrent Environment:\n"
                                  "  PySpark: " +
                                  newest("3.5") +
                                  "\n"
                                  "  Java:    17 (Debian)\n\n");
  EXPECT_EQ(f.console.lines.size(), 12u + 4u * 3u);
  EXPECT_THAT(f.compat.calls, ElementsAre("get_pyspark_info", "get_current_java"));
}

TEST(ShowVersions, EmptyCatalogueAndNothingInstalled) {
  TaskFixture f;
  f.compat.versions.clear();
  f.task().show_versions();
  ASSERT_EQ(f.console.lines.size(), 12u);
  EXPECT_TRUE(ends_with_block(
      f.console.lines,
      {"Available PySpark Versions:", "", std::string(60, '-'), "",
       "Current Environment:", "  PySpark: not installed", "  Java:    not found", ""}));
}

TEST(ShowVersions, RecommendedWithEmptySupportedListIsShown) {
  TaskFixture f;
  f.compat.versions = {{"1.0.0", "1.0", ""}};
  f.compat.table["1.0"] = CompatRecord{{}, 11};
  f.task().show_versions();
  EXPECT_TRUE(has_block(f.console.lines, {"  PySpark 1.0.0", "    Java Required:    ",
                                          "    Java Recommended: 11", ""}));
}

}  // namespace
}  // namespace plo::testing

namespace plo::testing {
namespace {

// The report values behind check, one case per state of the installation.
TEST(CheckReport, WhatIsFoundInEachState) {
  struct Case {
    std::string name;
    std::optional<std::string> pyspark;
    std::optional<int> java;
    bool java_searched;
    std::optional<bool> compatible;
  } cases[] = {
      {"no pyspark", std::nullopt, 17, false, std::nullopt},
      {"no java", newest("3.5"), std::nullopt, true, std::nullopt},
      {"compatible", newest("3.5"), 17, true, true},
      {"incompatible", newest("4.1"), 11, true, false},
  };
  for (const auto& c : cases) {
    TaskFixture f;
    if (c.pyspark) f.compat.install(*c.pyspark);
    if (c.java) f.compat.java = JavaInfo{*c.java, "Debian", "/jdk"};
    const CheckReport report = f.task().check_report();
    EXPECT_EQ(report.python, "/venv/bin/python") << c.name;
    EXPECT_EQ(report.pyspark.has_value(), c.pyspark.has_value()) << c.name;
    EXPECT_EQ(report.java_searched, c.java_searched) << c.name;
    EXPECT_EQ(report.java.has_value(), c.java_searched && c.java) << c.name;
    EXPECT_EQ(report.compatible, c.compatible) << c.name;
    EXPECT_EQ(report.ok(), c.compatible.value_or(false)) << c.name;
    EXPECT_FALSE(report.error) << c.name;
    EXPECT_TRUE(f.console.lines.empty()) << c.name;  // computing prints nothing
  }
}

// A compat service whose detection fails at a chosen call.
class FailingCompat : public FakeCompat {
 public:
  bool fail_pyspark = false;
  bool fail_java = false;
  std::optional<PySparkInfo> get_pyspark_info() override {
    if (fail_pyspark) throw std::runtime_error("python broke");
    return FakeCompat::get_pyspark_info();
  }
  std::optional<JavaInfo> get_current_java() override {
    if (fail_java) throw std::runtime_error("java broke");
    return FakeCompat::get_current_java();
  }
};

struct FailingFixture {
  FakeConsole console;
  FailingCompat compat;
  FakeRunner runner{compat};
  SparkTask task() {
    return SparkTask({.console = console,
                      .compat = compat,
                      .runner = runner,
                      .interpreter = [] { return std::string("/venv/bin/python"); },
                      .compute_registry = [] { return std::make_unique<FakeRegistry>(); },
                      .databricks = [] { return std::make_unique<FakeDatabricks>(false); }});
  }
};

// An error ends the report where it happened: the lines before it are printed, then it is raised.
TEST(CheckReport, AnErrorPrintsWhatCameBeforeIt) {
  FailingFixture f;
  f.compat.fail_pyspark = true;
  EXPECT_THROW(f.task().check(), std::runtime_error);
  EXPECT_EQ(f.console.text(), "\n<cyan!>PySpark Status</cyan!>\n" + std::string(40, '-') + "\n");

  FailingFixture g;
  g.compat.install(newest("3.5"));
  g.compat.fail_java = true;
  EXPECT_TRUE(g.task().check_report().error);
  EXPECT_THROW(g.task().check(), std::runtime_error);
  EXPECT_TRUE(ends_with_block(
      g.console.lines,
      {"  Recommended:   Java 17", "", "<cyan!>Java Compatibility</cyan!>", std::string(40, '-')}));

  FailingFixture h;
  h.compat.fail_java = true;
  EXPECT_THROW(h.task().show_versions(), std::runtime_error);
  EXPECT_EQ(h.console.lines.size(), 4u);
}

TEST(VersionsReport, RowsCarryTheTableAndTheInstalledMark) {
  TaskFixture f;
  f.compat.versions = {
      {newest("3.5"), "3.5", "stable"}, {"9.9.0", "9.9", ""}, {"1.0.0", "1.0", ""}};
  f.compat.table["3.5"].recommended.reset();
  f.compat.table["1.0"] = CompatRecord{{}, 11};
  f.compat.install(newest("3.5"));
  const VersionsReport report = f.task().versions_report();
  ASSERT_EQ(report.versions.size(), 3u);
  EXPECT_EQ(report.versions[0].java_recommended, 8);  // the first supported, without a record's
  EXPECT_TRUE(report.versions[0].installed);
  EXPECT_EQ(report.versions[1].java_recommended, std::nullopt);  // shown as "?"
  EXPECT_TRUE(report.versions[1].java_supported.empty());
  EXPECT_FALSE(report.versions[1].installed);
  EXPECT_EQ(report.versions[2].java_recommended, 11);
  EXPECT_EQ(report.pyspark->version, newest("3.5"));
  EXPECT_FALSE(report.java);
}

}  // namespace
}  // namespace plo::testing
