#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "catalogue_meaning.h"
#include "fakes.h"

namespace plo::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(SmokeTestScript, IsTheFixedScript) {
  EXPECT_EQ(kSmokeTestScript.size(), 231u);
  EXPECT_TRUE(kSmokeTestScript.starts_with("\nimport os\n"));
  EXPECT_TRUE(kSmokeTestScript.ends_with("print(\"OK\")\nspark.stop()\n"));
}

TEST(ClassifySmokeTest, SortsOutcomesInOrder) {
  const std::string long_error(500, 'x');
  struct Case {
    int exit_code;
    std::string out, err;
    bool ok;
    std::string message;
  } cases[] = {
      {0, "OK\n", "", true, ""},
      {0, "spark says OK", "noise", true, ""},
      {0, "", "", false, "Unknown error"},
      {1, "OK\n", "", false, "OK"},
      {1, "", "boom: executor lost\r\n\n", false, "boom: executor lost"},
      {1, "", "\n", false, "Unknown error"},
      {1, "", "", false, "Unknown error"},
      {1, "stdout only", "", false, "stdout only"},
      {1, "ignored", "boom", false, "boom"},
      {1, "", "JAVA_GATEWAY_EXITED", false, "Java compatibility error"},
      {1, "", "the JVM died", false, "Java compatibility error"},
      {1, "", "UnsupportedClassVersionError in Java", false, "Java compatibility error"},
      {1, "", "UnsupportedClassVersionError", false, "Java version mismatch"},
      {1, "", long_error, false, std::string(200, 'x')},
  };
  for (const auto& c : cases) {
    const auto [ok, message] = classify_smoke_test(c.exit_code, c.out, c.err);
    EXPECT_EQ(ok, c.ok) << c.err;
    EXPECT_EQ(message, c.message) << c.err;
  }
}

TEST(DiagnoseSmokeFailure, BlamesJavaOnlyForItsSignaturesOrAnUnsupportedJava) {
  const std::string gateway_34 =
      "[JAVA_GATEWAY_EXITED] Java gateway process exited before sending its port number.";
  const std::string gateway_33 =
      "RuntimeError: Java gateway process exited before sending its port number";
  struct Case {
    std::string text;
    std::optional<bool> java_fits;
    bool java_cause;
    std::string first_line;
  } cases[] = {
      {"Error: A JNI error has occurred\nException in thread \"main\" "
       "java.lang.UnsupportedClassVersionError: org/apache/spark/launcher/Main has been compiled "
       "by a more recent version (class file version 61.0)\n" +
           gateway_34,
       true, true,
       "java.lang.UnsupportedClassVersionError: org/apache/spark/launcher/Main has been compiled "
       "by a more recent version (class file version 61.0)"},
      {"py4j.protocol.Py4JJavaError: An error occurred while calling None.org.apache.spark."
       "api.java.JavaSparkContext.\n: java.lang.UnsupportedOperationException: getSubject is "
       "supported only if a security manager is allowed\n",
       true, true,
       "java.lang.UnsupportedOperationException: getSubject is supported only if a security "
       "manager is allowed"},
      {"E: java.lang.UnsupportedOperationException: getSubject is not supported", std::nullopt,
       true, "java.lang.UnsupportedOperationException: getSubject is not supported"},
      {"JAVA_HOME is not set\n" + gateway_34, std::nullopt, true, "JAVA_HOME is not set"},
      {gateway_33, false, true, gateway_33},         // Java outside the line's list
      {gateway_33, std::nullopt, true, gateway_33},  // the list could not be checked
      {gateway_33, true, false, gateway_33},
      {"java.net.BindException: Address already in use\n" + gateway_34, true, false,
       "java.net.BindException: Address already in use"},
      {"Traceback (most recent call last):\n  File \"<string>\", line 4\n"
       "ModuleNotFoundError: No module named 'pyspark'\n",
       std::nullopt, false, "ModuleNotFoundError: No module named 'pyspark'"},
      {"something odd\nthe end\n", true, false, "the end"},
      {"", std::nullopt, false, ""},
  };
  for (const auto& c : cases) {
    const SmokeDiagnosis d = diagnose_smoke_failure(c.text, c.java_fits);
    EXPECT_EQ(d.java_cause, c.java_cause) << c.text;
    EXPECT_EQ(d.first_error_line, c.first_line) << c.text;
  }
}

TEST(ClassifySmokeTest, CutsAtCharactersNotBytes) {
  std::string error;
  for (int i = 0; i < 300; ++i) error += "\xc3\xa9";  // é
  const auto [ok, message] = classify_smoke_test(1, "", error);
  EXPECT_EQ(message.size(), 400u);
}

TEST(Uninstall, NothingInstalledRunsNothing) {
  TaskFixture f;
  const auto [ok, previous] = f.task()._uninstall_pyspark();
  EXPECT_TRUE(ok);
  EXPECT_FALSE(previous);
  EXPECT_TRUE(f.console.lines.empty());
  EXPECT_TRUE(f.runner.runs.empty());
}

TEST(Uninstall, ReportsEachOutcomeAndAlwaysTheVersion) {
  struct Case {
    FakeRunner::Outcome outcome;
    std::string last_line;
    bool ok;  // a failed uninstall stops the install: the two would mix
  } cases[] = {
      {{0, "", "", false, false}, "<yellow>  Removed PySpark " + newest("3.5") + "</yellow>", true},
      {{1, "", "", false, false}, "<yellow>  Warning: Could not uninstall PySpark</yellow>", false},
      {{0, "", "", false, true},
       "<red>  Error uninstalling: cannot run /venv/bin/python: No such file</red>",
       false},
  };
  for (const auto& c : cases) {
    TaskFixture f;
    f.compat.install(newest("3.5"));
    f.runner.uninstall_outcome = c.outcome;
    const auto [ok, previous] = f.task()._uninstall_pyspark();
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(previous, newest("3.5"));
    EXPECT_THAT(f.console.lines,
                ElementsAre("  Uninstalling PySpark " + newest("3.5") + "...", c.last_line));
    ASSERT_EQ(f.runner.runs.size(), 1u);
    EXPECT_THAT(f.runner.runs[0].argv,
                ElementsAre("/venv/bin/python", "-m", "pip", "uninstall", "pyspark", "-y"));
    EXPECT_TRUE(f.runner.runs[0].capture);
  }
}

TEST(Install, PassesTheVersionUnchangedAndLetsPipTalk) {
  TaskFixture f;
  f.runner.install_outcomes[" 3.4.1; rm -rf /"] = {1, "", "", false, false};
  EXPECT_FALSE(f.task()._install_pyspark(" 3.4.1; rm -rf /"));
  ASSERT_EQ(f.runner.runs.size(), 1u);
  EXPECT_THAT(f.runner.runs[0].argv,
              ElementsAre("/venv/bin/python", "-m", "pip", "install", "pyspark== 3.4.1; rm -rf /"));
  EXPECT_FALSE(f.runner.runs[0].capture);
  EXPECT_FALSE(f.runner.runs[0].time_limit);
  EXPECT_THAT(f.console.lines, ElementsAre("  Installing PySpark  3.4.1; rm -rf /..."));
}

TEST(Install, InterpreterThatCannotStartGivesFalseQuietly) {
  TaskFixture f;
  f.runner.install_outcomes[newest("3.5")] = {0, "", "", false, true};
  EXPECT_FALSE(f.task()._install_pyspark(newest("3.5")));
  EXPECT_EQ(f.console.lines.size(), 1u);
}

TEST(SmokeTest, RunsTheScriptWithPysparkPythonAndATimeLimit) {
  TaskFixture f;
  const auto [ok, message] = f.task()._test_pyspark_java();
  EXPECT_TRUE(ok);
  ASSERT_EQ(f.runner.runs.size(), 1u);
  const ProcessSpec& spec = f.runner.runs[0];
  EXPECT_THAT(spec.argv, ElementsAre("/venv/bin/python", "-c", std::string(kSmokeTestScript)));
  ASSERT_TRUE(spec.environment);
  EXPECT_THAT(*spec.environment, ::testing::Contains("PYSPARK_PYTHON=/venv/bin/python"));
  EXPECT_EQ(spec.time_limit, std::chrono::seconds(60));
}

TEST(SmokeTest, EmptyOrAbsentSparkHomeBecomesThePackageFolder) {
  struct Case {
    std::vector<std::string> environment;
    std::optional<std::string> home;
    std::string expected;  // the SPARK_HOME entry, or "" for none
  } cases[] = {
      {{"PATH=/bin"}, "/site/pyspark", "SPARK_HOME=/site/pyspark"},
      {{"SPARK_HOME=", "PATH=/bin"}, "/site/pyspark", "SPARK_HOME=/site/pyspark"},
      {{"SPARK_HOME=/opt/spark"}, "/site/pyspark", "SPARK_HOME=/opt/spark"},
      {{"SPARK_HOME=/opt/spark"}, std::nullopt, "SPARK_HOME=/opt/spark"},
      {{"PATH=/bin"}, std::nullopt, ""},
  };
  for (const auto& c : cases) {
    const auto env = smoke_test_environment(c.environment, "/venv/bin/python", c.home);
    std::vector<std::string> homes;
    for (const auto& e : env) {
      if (e.starts_with("SPARK_HOME=")) homes.push_back(e);
    }
    if (c.expected.empty()) {
      EXPECT_TRUE(homes.empty());
    } else {
      EXPECT_THAT(homes, ElementsAre(c.expected));
    }
    EXPECT_THAT(env, ::testing::Contains("PYSPARK_PYTHON=/venv/bin/python"));
  }
}

TEST(SmokeTest, AsksTheInterpreterWherePySparkIsWhenSparkHomeIsUnset) {
  TaskFixture f;
  f.compat.install(newest("3.5"));
  ::unsetenv("SPARK_HOME");
  f.task()._test_pyspark_java();
  ASSERT_EQ(f.runner.runs.size(), 1u);
  EXPECT_EQ(f.runner.probe_runs.size(), 1u);
  EXPECT_THAT(*f.runner.runs[0].environment,
              ::testing::Contains("SPARK_HOME=/venv/site-packages/pyspark"));
}

TEST(SmokeTest, TimeoutAndStartFailureHaveTheirMessages) {
  TaskFixture f;
  f.runner.smoke_outcome = {0, "", "", true, false};
  EXPECT_EQ(f.task()._test_pyspark_java().second, "Test timed out");
  f.runner.smoke_outcome = {0, "", "", false, true};
  EXPECT_THAT(f.task()._test_pyspark_java().second, HasSubstr("cannot run /venv/bin/python"));
}

}  // namespace
}  // namespace plo::testing
