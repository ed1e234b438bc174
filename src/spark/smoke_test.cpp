#include <algorithm>

#include "environment/environment_probe.h"
#include "spark/driver_tuning.h"
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
  const DriverOptionSources sources = driver_option_sources(environment, pyspark_home);
  if (auto args = tuned_submit_args(sources)) {
    environment = with_variable(std::move(environment), "PYSPARK_SUBMIT_ARGS", *args);
  }
  // spark-class starts a first JVM that only prints the driver's command line: the same start-up
  // options serve it, unless the user gives that JVM options of their own.
  const bool user_launcher = std::any_of(environment.begin(), environment.end(), [](auto& e) {
    return e.starts_with("SPARK_LAUNCHER_OPTS=") && e.size() > 20;
  });
  if (!user_launcher) {
    environment =
        with_variable(std::move(environment), "SPARK_LAUNCHER_OPTS", driver_start_options(sources));
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
  // A trailing line end is the output's, not the message's.
  const std::string_view message = trim_line_ends(error_text);
  if (!message.empty()) return {false, first_chars(message, kMaxErrorChars)};
  return {false, "Unknown error"};
}

namespace {

// Texts that show Java's version as the cause of a failure.
constexpr std::string_view kJavaSignatures[] = {
    "UnsupportedClassVersionError",
    "class file version",
    "Unsupported class file major version",
    "getSubject is supported only if a security manager is allowed",
    "getSubject is not supported",
    "JAVA_HOME is not set",
};

// PySpark's JVM ended before it reported its port: "[JAVA_GATEWAY_EXITED] Java gateway process
// exited before sending its port number." from 3.4, without prefix and full stop before.
constexpr std::string_view kGatewayExited = "Java gateway process exited before sending its port";

bool is_name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '.' || c == '$';
}

// Where an error name ("java.net.BindException:", "RuntimeError:") starts in the line, if any.
std::optional<size_t> error_name_at(std::string_view line) {
  for (const std::string_view word : {std::string_view("Error"), std::string_view("Exception")}) {
    for (size_t at = line.find(word); at != std::string_view::npos; at = line.find(word, at + 1)) {
      const size_t end = at + word.size();
      if (end < line.size() && line[end] != ':') continue;
      size_t start = at;
      while (start > 0 && is_name_char(line[start - 1])) --start;
      return start;
    }
  }
  return std::nullopt;
}

// The line without its colour sequences (ESC [ ... final byte): Python 3.13 colours tracebacks
// when FORCE_COLOR is set, even into a pipe.
std::string without_colours(std::string_view line) {
  std::string plain;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] != '\x1b' || i + 1 >= line.size() || line[i + 1] != '[') {
      plain += line[i];
      continue;
    }
    i += 2;
    while (i < line.size() && (line[i] < 0x40 || line[i] > 0x7e)) ++i;
  }
  return plain;
}

}  // namespace

std::optional<std::string> smoke_import_failure(std::string_view error_text) {
  // Python names the script's frames File "<string>", line N; lines count from the script's start.
  static const std::string import_frame = [] {
    const std::string_view script = kSmokeTestScript;
    const size_t at = script.find("from pyspark");
    const auto number = std::count(script.begin(), script.begin() + static_cast<long>(at), '\n');
    return "File \"<string>\", line " + std::to_string(number + 1) + ",";
  }();
  bool in_traceback = false;
  bool at_import = false;
  std::optional<std::string> exception_line;
  while (!error_text.empty()) {
    const auto nl = error_text.find('\n');
    const std::string plain = without_colours(error_text.substr(0, nl));
    std::string_view line = plain;
    error_text = nl == std::string_view::npos ? std::string_view() : error_text.substr(nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.starts_with("Traceback (most recent call last):")) {
      in_traceback = true;
      at_import = false;
      exception_line.reset();
      continue;
    }
    if (!in_traceback || line.empty()) continue;
    const std::string_view text = trim_blanks(line);
    if (line.front() == ' ' || line.front() == '\t') {
      if (text.starts_with("File \"<string>\", line ")) at_import = text.starts_with(import_frame);
      continue;
    }
    // The first line back at the margin ends the frames: the exception itself.
    exception_line = std::string(text);
    in_traceback = false;
  }
  if (!at_import || !exception_line) return std::nullopt;
  return exception_line;
}

SmokeDiagnosis diagnose_smoke_failure(std::string_view error_text, std::optional<bool> java_fits) {
  SmokeDiagnosis diagnosis;
  std::optional<std::string_view> signature_line, error_line, last_line;
  bool gateway_exited = false;
  while (!error_text.empty()) {
    const auto nl = error_text.find('\n');
    std::string_view line = trim_blanks(error_text.substr(0, nl));
    error_text = nl == std::string_view::npos ? std::string_view() : error_text.substr(nl + 1);
    if (line.empty()) continue;
    last_line = line;
    if (line.find(kGatewayExited) != std::string_view::npos) gateway_exited = true;
    if (!signature_line) {
      for (const std::string_view signature : kJavaSignatures) {
        if (const auto at = line.find(signature); at != std::string_view::npos) {
          const auto name = error_name_at(line);
          signature_line = name && *name <= at ? line.substr(*name) : line;
          break;
        }
      }
    }
    if (!error_line) {
      if (const auto name = error_name_at(line)) error_line = line.substr(*name);
    }
  }
  diagnosis.java_cause =
      signature_line || java_fits == false || (gateway_exited && java_fits != true);
  if (const auto chosen = signature_line ? signature_line : error_line ? error_line : last_line) {
    diagnosis.first_error_line = std::string(*chosen);
  }
  return diagnosis;
}

ProcessResult SparkTask::run_session(const std::string& script) {
  const std::string interpreter = s_.interpreter();
  // The script would set an empty SPARK_HOME, which makes PySpark look for ./bin/spark-submit;
  // PySpark's own choice without one is its package folder.
  std::optional<std::string> pyspark_home;
  if (!non_empty_env("SPARK_HOME")) {
    try {
      pyspark_home = probe_environment(s_.runner, interpreter, false).package;
    } catch (const std::exception&) {
      // The session itself tells what is wrong with the interpreter.
    }
  }
  return s_.runner.run(
      {.argv = {interpreter, "-c", script},
       .environment = smoke_test_environment(current_environment(), interpreter, pyspark_home),
       .time_limit = kSmokeTestTimeLimit,
       .die_with_plo = true});
}

SmokeResult session_result(const ProcessResult& result, std::optional<bool> java_fits) {
  if (result.timed_out) return {false, "Test timed out", false, ""};
  auto [ok, message] = classify_smoke_test(result.exit_code, result.out, result.err);
  if (ok) return {true, "", false, ""};
  const std::string& error_text = result.err.empty() ? result.out : result.err;
  if (auto line = smoke_import_failure(error_text)) {
    return {false, first_chars(*line, kMaxErrorChars), false, std::move(*line), true};
  }
  SmokeDiagnosis diagnosis = diagnose_smoke_failure(error_text, java_fits);
  if (diagnosis.java_cause) {
    // Either of the smoke test's two Java messages; an error that names Java only in passing is
    // neither.
    if (!contains_ignoring_case(message, "java")) message = "Java compatibility error";
  } else if (contains_ignoring_case(message, "java") && !diagnosis.first_error_line.empty()) {
    message = first_chars(diagnosis.first_error_line, kMaxErrorChars);
  }
  return {false, message, diagnosis.java_cause, std::move(diagnosis.first_error_line)};
}

SparkTask::SmokeResult SparkTask::smoke_test(std::optional<bool> java_fits) {
  s_.console.echo("  Testing PySpark + Java compatibility...");
  try {
    return session_result(run_session(std::string(kSmokeTestScript)), java_fits);
  } catch (const std::exception& e) {
    return {false, e.what(), false, ""};
  }
}

std::pair<bool, std::string> SparkTask::_test_pyspark_java() {
  SmokeResult result = smoke_test(std::nullopt);
  return {result.ok, std::move(result.message)};
}

}  // namespace plo
