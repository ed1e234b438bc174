#pragma once

#include <string>

namespace plo {

// What a check of a newly installed PySpark found: the smoke test's session start, or the Spark
// Connect client's import.
struct SmokeResult {
  bool ok = false;
  std::string message;                // as _test_pyspark_java's: empty on success
  bool java_error = false;            // Java is to blame (SmokeDiagnosis)
  std::string first_error_line = {};  // raw, for standard error
  bool import_failed = false;         // `import pyspark` itself failed: first_error_line says why
};

}  // namespace plo
