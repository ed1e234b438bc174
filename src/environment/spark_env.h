#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plo {

// Spark's load-spark-env.sh reads spark-env.sh only when SPARK_ENV_LOADED is unset or empty (it
// sets it for its children), so an inherited value makes Spark ignore the pin. When it is set,
// writes a warning saying so on standard error and returns true.
bool warn_if_spark_env_skipped();

// The lines around plo's Java pin in spark-env.sh.
inline constexpr std::string_view kPinBegin = "# >>> plo java pin >>>";
inline constexpr std::string_view kPinEnd = "# <<< plo java pin <<<";

// What a spark-env.sh assigns to JAVA_HOME, as Spark's launcher would see it.
struct SparkEnvJava {
  std::string java_home;  // empty: assigned an empty value
  bool from_pin = false;  // the assignment is plo's own block
};

// The last JAVA_HOME=... or export JAVA_HOME=... line whose value is a literal (no expansion, no
// command substitution); lines that assign a computed value are not understood and skipped.
std::optional<SparkEnvJava> spark_env_java_home(std::string_view contents);

// The Java home that plo's block assigns, or nothing when the file has no block.
std::optional<std::string> pinned_java_home(std::string_view contents);

// The contents without plo's block (every other line kept as it is).
std::string without_java_pin(std::string_view contents);

// The contents with plo's block for `home` at the end, replacing any earlier block, so that its
// assignment is the last one.
std::string with_java_pin(std::string_view contents, std::string_view home);

}  // namespace plo
