#pragma once

#include <optional>
#include <string>
#include <vector>

namespace plo {

// What reaches the smoke test's driver JVM from the user, apart from plo's own options.
struct DriverOptionSources {
  std::optional<std::string> submit_args;  // PYSPARK_SUBMIT_ARGS, when set
  std::string spark_defaults;              // spark-defaults.conf's text; empty when there is none
  // Every other text that can add JVM options: spark-env.sh, SPARK_SUBMIT_OPTS, JAVA_TOOL_OPTIONS,
  // JDK_JAVA_OPTIONS and _JAVA_OPTIONS, one after the other.
  std::string other_options;
};

// The JVM options that make the driver start sooner without changing what it can load: C1 only
// (a session start is over before C2 would pay off) and, unless the user picks a collector, the
// serial one.
std::string driver_start_options(const DriverOptionSources& sources);

// The PYSPARK_SUBMIT_ARGS to give the smoke test: the user's own, behind a --conf of
// spark.driver.defaultJavaOptions (which Spark puts before spark.driver.extraJavaOptions, so the
// user's options still apply and win). Nothing, leaving the variable as it is, where the user sets
// spark.driver.defaultJavaOptions (theirs must apply unchanged) or where their arguments do not end
// in "pyspark-shell" (PySpark then runs them as they are, and so must the smoke test).
std::optional<std::string> tuned_submit_args(const DriverOptionSources& sources);

// The sources as the smoke test's child would see them: `environment` ("NAME=value" entries) and
// the conf folder (SPARK_CONF_DIR, else SPARK_HOME's or the package's `conf`).
DriverOptionSources driver_option_sources(const std::vector<std::string>& environment,
                                          const std::optional<std::string>& pyspark_home);

}  // namespace plo
