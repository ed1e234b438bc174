#pragma once

#include <optional>
#include <string>
#include <vector>

namespace plo {

// The PySpark installed in the interpreter's environment.
struct PySparkInfo {
  std::string version;      // full version text, as pyspark.__version__ gives it
  std::string major_minor;  // its major.minor text
  std::vector<int> java_supported;
  std::optional<int> java_recommended;  // nothing when the table has no data for the line
  std::string location;                 // the pyspark package folder
};

// The Java that PySpark would start (spark-env.sh's JAVA_HOME, else JAVA_HOME, else PATH).
struct JavaInfo {
  int version = 0;     // Java major version
  std::string vendor;  // "Unknown" when nothing says
  std::string path;    // the Java home folder
  // Where it came from: "pin", "spark-env.sh", "JAVA_HOME" or "PATH" (empty when unknown).
  std::string found_in = {};
};

}  // namespace plo
