#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/runtimes.h"
#include "catalogue/versions.h"
#include "compat/java_compat_service.h"
#include "environment/installed.h"
#include "project/project_file.h"

namespace plo {

// The Spark version of a compute engine's cluster, or nothing when it cannot be told; throws when
// the compute is unknown. Supplied by the spark commands (match-cluster's detection).
using ClusterVersionLookup = std::function<std::optional<std::string>(const std::string&)>;

// What a project's file comes to on this machine's catalogue: the PySpark to have and the Java.
struct ProjectTarget {
  std::string pyspark;      // as the user reads it: the file's text, else the cluster's line
  std::string version;      // the version sync installs
  std::string major_minor;  // its line
  bool exact = false;       // only `version` itself matches, not any version of its line
  int java = 0;             // the Java major PySpark is to run on
  std::optional<std::string> cluster_version;  // the compute's, when the file names one
  // The managed runtime the file names ("glue-5.0"), and where explicit pyspark or java keys
  // contradict it (they win): "pyspark = \"3.5.9\" differs from AWS Glue 5.0's Spark 3.5.4".
  std::optional<ManagedRuntime> runtime = {};
  std::vector<std::string> contradictions = {};
};

// Resolves the file's values against the catalogue (and the compute's cluster, asked only when the
// file names one). Throws ProjectFileError for a line plo does not know, a compute whose version
// cannot be told or that disagrees with `pyspark`, or a Java that cannot be chosen.
ProjectTarget resolve_target(const ProjectSpec& spec, const std::vector<VersionEntry>& versions,
                             const CompatTable& table, const ClusterVersionLookup& cluster_version);

// Whether the installed PySpark is what the target asks for: the same line, or the exact version.
bool pyspark_matches(const ProjectTarget& target, const std::optional<PySparkInfo>& installed);

// Whether PySpark runs on the target's Java now.
bool java_matches(const ProjectTarget& target, const std::optional<JavaInfo>& java);

// A project file that applies here, what it asks for and whether this environment has it.
struct ProjectStatus {
  ProjectSpec spec;
  ProjectTarget target;
  bool matches = false;  // the PySpark and the Java, which `plo sync` brings
  // Where the file names a runtime: whether the interpreter's Python is one the runtime runs
  // (nothing when either is unknown), and the interpreter's "major.minor".
  std::optional<bool> python_fits = {};
  std::optional<std::string> python = {};

  // The PySpark, the Java and (where the runtime says) the Python as the file asks.
  bool fits() const { return matches && python_fits != false; }
};

// The status of the project file nearest to `start`, or nothing where no file with [tool.plo]
// applies. Throws ProjectFileError as resolve_target does, and for an invalid file.
std::optional<ProjectStatus> project_status(JavaCompatService& compat,
                                            const ClusterVersionLookup& cluster_version,
                                            const std::filesystem::path& start);

// The warning that names the keys of [tool.plo] plo does not know; nothing when there are none.
std::optional<std::string> unknown_keys_warning(const ProjectSpec& spec);

// The line check and doctor add when the file's runtime runs another Python than this
// environment: "  pyproject.toml's runtime AWS Glue 5.0 runs Python 3.11, this environment 3.12:
// run 'uv venv --python 3.11'"; nothing when it fits or cannot be told.
std::optional<std::string> python_drift_line(const ProjectStatus& status);

// The line check and doctor add under their report when the environment drifted from the file:
// "  pyproject.toml asks for PySpark 3.5, Java 17: run 'plo sync'"; nothing when it matches.
std::optional<std::string> drift_line(const ProjectStatus& status);

}  // namespace plo
