#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "environment/installed.h"
#include "process/process_runner.h"

namespace plo {

// The Java major version of a version text: "1.8.0_392" is 8, "17.0.15" is 17, "21" is 21.
std::optional<int> java_major_version(std::string_view version_text);

// What a JDK's `release` file says (KEY="value" lines; CRLF tolerated).
struct ReleaseInfo {
  std::optional<std::string> java_version;
  std::optional<std::string> implementor;
  std::optional<std::string> modules;  // MODULES: the runtime image's modules, blank-separated
};
ReleaseInfo parse_release_file(std::string_view contents);

// What `java -version` writes to stderr: the quoted version and the runtime's name.
struct JavaVersionOutput {
  std::optional<std::string> version;
  std::optional<std::string> runtime_name;
};
JavaVersionOutput parse_java_version_output(std::string_view text);

// What a Java home says about itself.
struct JavaDescription {
  int version = 0;                     // Java major version
  std::string full_version;            // as the JDK writes it: "17.0.15", "1.8.0_392", "21"
  std::string vendor;                  // "Unknown" when nothing says
  std::optional<std::string> modules;  // as the release file lists them, when it does
};

// Describes the Java home whose launcher is `java`: its release file, and `java -version` only for
// what that file lacks. Throws when neither tells the version.
JavaDescription describe_java_home(ProcessRunner& runner, const std::string& home,
                                   const std::string& java);

// Where the Java that PySpark would start comes from.
struct JavaChoice {
  std::string home;
  std::string java;    // its launcher
  std::string source;  // "spark-env.sh", "JAVA_HOME" or "PATH"
};

// Spark's order: the JAVA_HOME that spark-env.sh assigns (an empty value counts as unset, and
// hides the environment's), else the environment's JAVA_HOME, else `java` on PATH. Nothing when
// the chosen home has no executable bin/java or PATH has no java.
std::optional<JavaChoice> choose_current_java(
    const std::optional<std::string>& spark_env_java_home);

// The Java that PySpark would start, in the order of choose_current_java.
std::optional<JavaInfo> detect_current_java(ProcessRunner& runner,
                                            const std::optional<std::string>& spark_env_java_home);

}  // namespace plo
