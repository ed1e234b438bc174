#include "environment/environment_probe.h"
#include "spark/spark_task.h"
#include "util/environment.h"
#include "util/text.h"

namespace plo {
namespace {

constexpr auto kRoundTripTimeLimit = std::chrono::seconds(60);
constexpr size_t kMaxErrorChars = 200;
constexpr std::string_view kMarker = "PLO-PANDAS: ";

// Runs inside the smoke test's session, after its "OK": any failure is the round trip's.
constexpr std::string_view kRoundTrip =
    "try:\n"
    "    import pandas\n"
    "    frame = pandas.DataFrame({\"id\": [1, 2], \"name\": [\"a\", \"b\"]})\n"
    "    rows = len(spark.createDataFrame(frame).toPandas())\n"
    "    print(\"PLO-PANDAS: OK\" if rows == 2 else \"PLO-PANDAS: toPandas() gave %d rows, not 2\""
    " % rows)\n"
    "except Exception as error:\n"
    "    print(\"PLO-PANDAS: %s: %s\" % (type(error).__name__, (str(error).splitlines() or "
    "[\"\"])[0]))\n";

}  // namespace

std::string pandas_round_trip_script() {
  // The smoke test's own lines around it, so that its import line stays where
  // smoke_import_failure looks for it.
  std::string script(kSmokeTestScript);
  script.insert(script.rfind("spark.stop()"), kRoundTrip);
  return script;
}

std::optional<std::string> pandas_round_trip_outcome(std::string_view out) {
  const size_t at = out.rfind(kMarker);
  if (at == std::string_view::npos || (at > 0 && out[at - 1] != '\n')) return std::nullopt;
  const std::string_view rest = out.substr(at + kMarker.size());
  const std::string_view line = trim_blanks(rest.substr(0, rest.find('\n')));
  if (line == "OK") return "";
  return first_chars(line, kMaxErrorChars);
}

SparkTask::RoundTripResult SparkTask::smoke_test_with_pandas(std::optional<bool> java_fits) {
  try {
    const std::string interpreter = s_.interpreter();
    std::optional<std::string> pyspark_home;
    if (!non_empty_env("SPARK_HOME")) {
      try {
        pyspark_home = probe_environment(s_.runner, interpreter, false).package;
      } catch (const std::exception&) {
        // The session itself tells what is wrong with the interpreter.
      }
    }
    const ProcessResult result = s_.runner.run(
        {.argv = {interpreter, "-c", pandas_round_trip_script()},
         .environment = smoke_test_environment(current_environment(), interpreter, pyspark_home),
         .time_limit = kRoundTripTimeLimit,
         .die_with_plo = true});
    auto pandas = pandas_round_trip_outcome(result.out);
    auto [ok, message] = classify_smoke_test(result.exit_code, result.out, result.err);
    if (result.timed_out) {
      // A session that started and said so, then hung in the round trip.
      if (result.out.starts_with("OK\n")) {
        return {{true, "", false, ""}, "the round trip did not end within 60 seconds"};
      }
      return {{false, "Test timed out", false, ""}, std::nullopt};
    }
    if (ok) return {{true, "", false, ""}, std::move(pandas)};
    const std::string& error_text = result.err.empty() ? result.out : result.err;
    if (auto line = smoke_import_failure(error_text)) {
      return {{false, first_chars(*line, kMaxErrorChars), false, std::move(*line), true},
              std::nullopt};
    }
    SmokeDiagnosis diagnosis = diagnose_smoke_failure(error_text, java_fits);
    // As smoke_test sorts its failures.
    if (diagnosis.java_cause) {
      if (!contains_ignoring_case(message, "java")) message = "Java compatibility error";
    } else if (contains_ignoring_case(message, "java") && !diagnosis.first_error_line.empty()) {
      message = first_chars(diagnosis.first_error_line, kMaxErrorChars);
    }
    return {{false, message, diagnosis.java_cause, std::move(diagnosis.first_error_line)},
            std::nullopt};
  } catch (const std::exception& e) {
    return {{false, e.what(), false, ""}, std::nullopt};
  }
}

}  // namespace plo
