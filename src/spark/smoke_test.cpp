#include "spark/spark_task.h"
#include "util/environment.h"
#include "util/text.h"

namespace plo {
namespace {

constexpr auto kSmokeTestTimeLimit = std::chrono::seconds(60);
constexpr size_t kMaxErrorChars = 200;

}  // namespace

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
    const ProcessResult result = s_.runner.run(
        {.argv = {interpreter, "-c", std::string(kSmokeTestScript)},
         .environment = with_variable(current_environment(), "PYSPARK_PYTHON", interpreter),
         .time_limit = kSmokeTestTimeLimit});
    if (result.timed_out) return {false, "Test timed out"};
    return classify_smoke_test(result.exit_code, result.out, result.err);
  } catch (const std::exception& e) {
    return {false, e.what()};
  }
}

}  // namespace plo
