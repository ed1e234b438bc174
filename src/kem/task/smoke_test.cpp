#include <algorithm>
#include <cctype>

#include "kem/task/spark_task.h"
#include "process/environment.h"

namespace plo {
namespace {

constexpr auto kSmokeTestTimeLimit = std::chrono::seconds(60);
constexpr size_t kMaxErrorChars = 200;

bool contains_ignoring_case(std::string_view text, std::string_view lower_needle) {
  const auto it =
      std::search(text.begin(), text.end(), lower_needle.begin(), lower_needle.end(),
                  [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
  return it != text.end();
}

// The first `count` characters of a UTF-8 text (continuation bytes do not start a character).
std::string first_chars(const std::string& text, size_t count) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && chars++ == count) {
      return text.substr(0, i);
    }
  }
  return text;
}

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
  } catch (const Abort&) {
    throw;
  } catch (const std::exception& e) {
    return {false, e.what()};
  }
}

}  // namespace plo
