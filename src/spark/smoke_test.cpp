#include <algorithm>

#include "compat/environment_probe.h"
#include "spark/spark_task.h"
#include "util/environment.h"
#include "util/text.h"

namespace plo {
namespace {

constexpr auto kSmokeTestTimeLimit = std::chrono::seconds(60);
constexpr size_t kMaxErrorChars = 200;

}  // namespace

std::vector<std::string> smoke_test_environment(std::vector<std::string> environment,
                                                const std::string& interpreter,
                                                const std::optional<std::string>& pyspark_home) {
  environment = with_variable(std::move(environment), "PYSPARK_PYTHON", interpreter);
  const bool has_spark_home = std::any_of(environment.begin(), environment.end(), [](auto& e) {
    return e.starts_with("SPARK_HOME=") && e.size() > 11;
  });
  if (!has_spark_home && pyspark_home) {
    environment = with_variable(std::move(environment), "SPARK_HOME", *pyspark_home);
  }
  return environment;
}

const std::string_view kSmokeTestScript =
    "\n"
    "import os\n"
    "os.environ.setdefault(\"SPARK_HOME\", \"\")\n"
    "from pyspark.sql import SparkSession\n"
    "spark = SparkSession.builder.master(\"local[1]\").appName(\"PLO-Test\").config("
    "\"spark.ui.enabled\", \"false\").getOrCreate()\n"
    "print(\"OK\")\n"
    "spark.stop()\n";

std::pair<bool, std::string> classify_smoke_test(int exit_code, const std::string& out,
                                                 const std::string& err) {
  if (exit_code == 0 && out.find("OK") != std::string::npos) return {true, ""};
  const std::string& error_text = err.empty() ? out : err;
  if (contains_ignoring_case(error_text, "java") || contains_ignoring_case(error_text, "jvm")) {
    return {false, "Java compatibility error"};
  }
  if (error_text.find("UnsupportedClassVersionError") != std::string::npos) {
    return {false, "Java version mismatch"};
  }
  if (!error_text.empty()) return {false, first_chars(error_text, kMaxErrorChars)};
  return {false, "Unknown error"};
}

std::pair<bool, std::string> SparkTask::_test_pyspark_java() {
  s_.console.echo("  Testing PySpark + Java compatibility...");
  try {
    const std::string interpreter = s_.interpreter();
    // The script would set an empty SPARK_HOME, which makes PySpark look for ./bin/spark-submit;
    // PySpark's own choice without one is its package folder.
    std::optional<std::string> pyspark_home;
    if (!non_empty_env("SPARK_HOME")) {
      try {
        pyspark_home = probe_environment(s_.runner, interpreter, false).package;
      } catch (const std::exception&) {
        // The smoke test itself tells what is wrong with the interpreter.
      }
    }
    const ProcessResult result = s_.runner.run(
        {.argv = {interpreter, "-c", std::string(kSmokeTestScript)},
         .environment = smoke_test_environment(current_environment(), interpreter, pyspark_home),
         .time_limit = kSmokeTestTimeLimit});
    if (result.timed_out) return {false, "Test timed out"};
    return classify_smoke_test(result.exit_code, result.out, result.err);
  } catch (const std::exception& e) {
    return {false, e.what()};
  }
}

}  // namespace plo
