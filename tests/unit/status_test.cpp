#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
  f.compat.install("3.5.9");
  f.compat.java = JavaInfo{17, "Debian", "/usr/lib/jvm/java-17-openjdk-amd64"};
  EXPECT_TRUE(f.task().check());
  EXPECT_EQ(f.console.text(), "\n<cyan!>PySpark Status</cyan!>\n" + std::string(40, '-') +
                                  "\n"
                                  "  Version:       3.5.9\n"
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
  f.compat.install("3.5.9");
  f.compat.java = JavaInfo{25, "Eclipse Adoptium", "/jdk25"};
  EXPECT_FALSE(f.task().check());
  EXPECT_EQ(f.console.lines.size(), 18u);
  EXPECT_EQ(f.console.lines[14],
            "<red>  Java 25 is not compatible with PySpark 3.5 (supported: Java 8, 11, 17)</red>");
  EXPECT_EQ(f.console.lines[16], "  Run 'plo java set' to select a compatible Java version");
}

TEST(Check, WithoutJavaNamesTheRequirement) {
  TaskFixture f;
  f.compat.install("4.2.0");
  EXPECT_FALSE(f.task().check());
  EXPECT_EQ(f.console.lines.size(), 17u);
  EXPECT_EQ(f.console.lines[10], "<red>  Java not found!</red>");
  EXPECT_EQ(f.console.lines[12], "  PySpark 4.2.0 requires Java 17, 21, 25");
  EXPECT_EQ(f.console.lines[14], "  Run 'plo java search' to find Java installations");
  EXPECT_THAT(f.compat.calls, ElementsAre("get_pyspark_info", "get_current_java"));
}

TEST(Check, LineWithoutTableDataShowsEmptyListAndQuestionMark) {
  TaskFixture f;
  f.compat.install("2.3.4");
  f.compat.java = JavaInfo{8, "Unknown", "/jdk8"};
  EXPECT_FALSE(f.task().check());
  EXPECT_EQ(f.console.lines[5], "  Required Java: ");
  EXPECT_EQ(f.console.lines[6], "  Recommended:   Java ?");
  EXPECT_EQ(f.console.lines[14], "<red>  No Java compatibility data for PySpark 2.3</red>");
}

TEST(ShowVersions, PrintsEveryEntryWithMarksAndTheEnvironment) {
  TaskFixture f;
  f.compat.versions = {
      {"3.5.9", "3.5", "stable"}, {"9.9.0", "9.9", "Latest"}, {"4.2.0", "4.2", "latest"}};
  f.compat.table["4.2"].recommended.reset();
  f.compat.install("3.5.9");
  f.compat.java = JavaInfo{17, "Debian", "/jdk"};
  f.task().show_versions();
  EXPECT_EQ(f.console.text(),
            "\n<cyan!>PySpark/Java Compatibility Matrix</cyan!>\n" + std::string(60, '=') +
                "\n\nAvailable PySpark Versions:\n\n"
                "  PySpark 3.5.9<blue> (stable)</blue><green> * INSTALLED</green>\n"
                "    Java Required:    8, 11, 17\n"
                "    Java Recommended: 17\n\n"
                "  PySpark 9.9.0\n"
                "    Java Required:    \n"
                "    Java Recommended: ?\n\n"
                "  PySpark 4.2.0<green> (latest)</green>\n"
                "    Java Required:    17, 21, 25\n"
                "    Java Recommended: 17\n\n" +
                std::string(60, '-') +
                "\n\nCurrent Environment:\n"
                "  PySpark: 3.5.9\n"
                "  Java:    17 (Debian)\n\n");
  EXPECT_EQ(f.console.lines.size(), 12u + 4u * 3u);
  EXPECT_THAT(f.compat.calls, ElementsAre("get_pyspark_info", "get_current_java"));
}

TEST(ShowVersions, EmptyCatalogueAndNothingInstalled) {
  TaskFixture f;
  f.compat.versions.clear();
  f.task().show_versions();
  ASSERT_EQ(f.console.lines.size(), 12u);
  EXPECT_EQ(f.console.lines[6], std::string(60, '-'));
  EXPECT_EQ(f.console.lines[9], "  PySpark: not installed");
  EXPECT_EQ(f.console.lines[10], "  Java:    not found");
}

TEST(ShowVersions, RecommendedWithEmptySupportedListIsShown) {
  TaskFixture f;
  f.compat.versions = {{"1.0.0", "1.0", ""}};
  f.compat.table["1.0"] = CompatRecord{{}, 11};
  f.task().show_versions();
  EXPECT_EQ(f.console.lines[8], "    Java Recommended: 11");
}

}  // namespace
}  // namespace plo::testing
