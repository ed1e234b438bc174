#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "compat/java_compat_service.h"
#include "process/process_runner.h"

namespace plo {

// The Java major version of a version text: "1.8.0_392" is 8, "17.0.15" is 17, "21" is 21.
std::optional<int> java_major_version(std::string_view version_text);

// What a JDK's `release` file says (KEY="value" lines; CRLF tolerated).
struct ReleaseInfo {
  std::optional<std::string> java_version;
  std::optional<std::string> implementor;
};
ReleaseInfo parse_release_file(std::string_view contents);

// What `java -version` writes to stderr: the quoted version and the runtime's name.
struct JavaVersionOutput {
  std::optional<std::string> version;
  std::optional<std::string> runtime_name;
};
JavaVersionOutput parse_java_version_output(std::string_view text);

// The Java that PySpark would start: JAVA_HOME's when it is set, else `java` on PATH.
std::optional<JavaInfo> detect_current_java(ProcessRunner& runner);

}  // namespace plo
