#pragma once

#include <optional>
#include <string>
#include <vector>

#include "catalogue/runtimes.h"
#include "environment/installed.h"

namespace plo {

// What of the local environment a runtime is compared with.
struct LocalEnvironment {
  std::optional<PySparkInfo> pyspark;
  std::optional<std::string> python;  // the interpreter's version ("3.11.7")
  std::optional<JavaInfo> java;
  std::optional<std::string> delta;  // the installed delta-spark's version
  std::vector<int> jdk_majors;       // the Java majors of the JDKs found on the machine
};

// One row of `plo runtimes show`: a component, the local value, the runtime's, and the command that
// mends a difference.
struct FitRow {
  std::string component;  // "PySpark", "Python", "Java", "Delta"
  std::optional<std::string> local;
  std::string wanted;
  bool ok = false;
  std::string fix = {};  // empty when ok
};

// How the local environment compares with one runtime.
struct RuntimeFit {
  const ManagedRuntime* runtime = nullptr;
  std::vector<FitRow> rows;
  // Where the runtime runs a Python that PySpark's own package does not declare for its line:
  // "PySpark 3.5 declares Python 3.8 to 3.11; Dataproc Serverless 2.2 runs 3.12".
  std::optional<std::string> python_note;

  bool ok() const {
    for (const FitRow& row : rows) {
      if (!row.ok) return false;
    }
    return true;
  }
};

// Compares row by row: the PySpark patch (or line, where the runtime names only that), Python's
// major.minor, Java's feature release, and Delta where the runtime bundles it and delta-spark is
// installed. A component the runtime's row leaves empty is not compared.
RuntimeFit fit_runtime(const ManagedRuntime& runtime, const LocalEnvironment& local);

// Whether a local version is what a runtime's version names: the same patch, or, for a line
// ("3.2"), any patch of it.
bool version_fits(std::string_view local, std::string_view wanted);

}  // namespace plo
