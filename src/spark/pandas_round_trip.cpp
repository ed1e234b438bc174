#include "spark/spark_task.h"
#include "util/text.h"

namespace plo {
namespace {

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
    const ProcessResult result = run_session(pandas_round_trip_script());
    // A session that started and said so, then hung in the round trip.
    if (result.timed_out && result.out.starts_with("OK\n")) {
      return {{true, "", false, ""}, "the round trip did not end within 60 seconds"};
    }
    SmokeResult session = session_result(result, java_fits);
    if (!session.ok) return {std::move(session), std::nullopt};
    return {std::move(session), pandas_round_trip_outcome(result.out)};
  } catch (const std::exception& e) {
    return {{false, e.what(), false, ""}, std::nullopt};
  }
}

}  // namespace plo
