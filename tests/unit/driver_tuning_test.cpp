#include "spark/driver_tuning.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "spark/spark_task.h"

namespace plo {
namespace {

constexpr const char* kTuned =
    "--conf \"spark.driver.defaultJavaOptions=-XX:TieredStopAtLevel=1 -XX:+UseSerialGC\" ";
constexpr const char* kTunedC1Only =
    "--conf \"spark.driver.defaultJavaOptions=-XX:TieredStopAtLevel=1\" ";

TEST(DriverTuning, TheUsersArgumentsStayBehindPlosOptionsOrAreLeftAlone) {
  struct Case {
    DriverOptionSources sources;
    std::optional<std::string> expected;
  } cases[] = {
      {{}, std::string(kTuned) + "pyspark-shell"},
      {{"--master local[2] pyspark-shell", "", ""},
       std::string(kTuned) + "--master local[2] pyspark-shell"},
      {{"  --conf spark.driver.extraJavaOptions=-Da=1 pyspark-shell \n", "", ""},
       std::string(kTuned) + "--conf spark.driver.extraJavaOptions=-Da=1 pyspark-shell"},
      // A collector of the user's own, wherever it is chosen, rules out the serial one.
      {{"--driver-java-options -XX:+UseG1GC pyspark-shell", "", ""},
       std::string(kTunedC1Only) + "--driver-java-options -XX:+UseG1GC pyspark-shell"},
      {{std::nullopt, "spark.driver.extraJavaOptions -XX:+UseZGC\n", ""},
       std::string(kTunedC1Only) + "pyspark-shell"},
      {{std::nullopt, "", "\n-XX:+UseParallelGC"}, std::string(kTunedC1Only) + "pyspark-shell"},
      {{std::nullopt, "", "-XX:+UseCompressedOops -XX:+UseStringDeduplication"},
       std::string(kTuned) + "pyspark-shell"},
      // The user's own defaultJavaOptions apply unchanged; so do arguments PySpark would refuse.
      {{"--conf spark.driver.defaultJavaOptions=-Dx pyspark-shell", "", ""}, std::nullopt},
      {{std::nullopt, "# admin\nspark.driver.defaultJavaOptions=-Djava.security.manager=allow\n",
        ""},
       std::nullopt},
      {{std::nullopt, "  spark.driver.defaultJavaOptions  -Dx\n", ""}, std::nullopt},
      {{std::nullopt, "spark.driver.defaultJavaOptionsX -Dx\n", ""},
       std::string(kTuned) + "pyspark-shell"},
      {{"--master local[2]", "", ""}, std::nullopt},
      {{"", "", ""}, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tuned_submit_args(c.sources), c.expected)
        << c.sources.submit_args.value_or("(unset)") << " | " << c.sources.spark_defaults;
  }
}

TEST(DriverTuning, TheSourcesAreTheChildsEnvironmentAndItsConfFolder) {
  const auto home = std::filesystem::temp_directory_path() / "plo-driver-tuning-test";
  std::filesystem::create_directories(home / "conf");
  std::ofstream(home / "conf" / "spark-defaults.conf") << "spark.driver.defaultJavaOptions -Dx\n";
  const auto env = smoke_test_environment({"PATH=/bin", "JAVA_TOOL_OPTIONS=-XX:+UseG1GC"},
                                          "/venv/bin/python", home.string());
  EXPECT_THAT(env,
              ::testing::Not(::testing::Contains(::testing::StartsWith("PYSPARK_SUBMIT_ARGS="))));
  // The launcher JVM gets the start-up options, without a collector beside the user's.
  EXPECT_THAT(env, ::testing::Contains("SPARK_LAUNCHER_OPTS=-XX:TieredStopAtLevel=1"));
  EXPECT_THAT(
      smoke_test_environment({"SPARK_LAUNCHER_OPTS=-Xss4m"}, "/venv/bin/python", home.string()),
      ::testing::Contains("SPARK_LAUNCHER_OPTS=-Xss4m"));
  const auto other = driver_option_sources(
      {"SPARK_CONF_DIR=/nonexistent", "_JAVA_OPTIONS=-XX:+UseZGC"}, home.string());
  EXPECT_EQ(other.spark_defaults, "");
  EXPECT_THAT(other.other_options, ::testing::HasSubstr("-XX:+UseZGC"));
  std::filesystem::remove_all(home);
}

}  // namespace
}  // namespace plo
