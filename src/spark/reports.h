#pragma once

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/companions.h"
#include "catalogue/index_lines.h"
#include "catalogue/python_support.h"
#include "catalogue/runtimes.h"
#include "compat/java_compat_service.h"
#include "compat/package_index.h"
#include "project/pin_check.h"
#include "project/project_target.h"

namespace plo {

// What `check` found. Fields after an `error` are left unfilled: the error ended the search there.
struct CheckReport {
  std::string python;                  // the interpreter whose PySpark was looked for
  std::optional<PySparkInfo> pyspark;  // nothing: not installed
  bool java_searched = false;          // Java is looked for only when PySpark is installed
  std::optional<JavaInfo> java;        // nothing: no Java found
  // The compatibility check's flag and message; asked only when both PySpark and Java are there.
  std::optional<bool> compatible;
  std::string message;
  // The interpreter's version and the installed line's Python range, where known; python_fits is
  // nothing unless both are.
  std::optional<std::string> python_version;
  std::optional<PythonRange> python_supported;
  std::optional<bool> python_fits;
  std::exception_ptr error;
  // The project file that applies here and whether the environment matches it; nothing without
  // one. A file that cannot be read or resolved leaves `project_error` instead.
  std::optional<ProjectStatus> project;
  std::optional<std::string> project_error;
  // The project's PySpark pins (requirements, locks) and where they disagree with [tool.plo] or
  // the installed PySpark.
  PinReport pins = {};

  // How PySpark is installed (looked at when it is): a Spark Connect client needs no local Java,
  // so Java is then not looked for.
  std::optional<PySparkFlavourFindings> flavour;
  // SPARK_HOME, looked at only for a flavour that launches a local JVM.
  std::optional<SparkHomeFinding> spark_home;
  // The distributions beside PySpark (delta-spark, pandas, numpy, ...) and whether each fits the
  // installed PySpark; looked at when PySpark is installed.
  std::vector<CompanionVerdict> companions;

  bool java_needed() const { return !flavour || flavour_needs_java(flavour->flavour); }
  // Whether the launcher would start a Spark other than pip's PySpark (another version, or a
  // folder without bin/spark-submit).
  bool spark_home_mismatch() const;
  // Whether nothing about how PySpark is installed breaks it (conflicts, SPARK_HOME).
  bool installation_sound() const {
    return !(flavour && !flavour->conflicting.empty()) && !spark_home_mismatch();
  }

  // Whether every companion fits the installed PySpark.
  bool companions_fit() const;

  bool ok() const {
    return (java_needed() ? compatible.value_or(false) : pyspark.has_value()) &&
           installation_sound() && python_fits.value_or(true) && companions_fit() &&
           !project_error && (!project || project->fits());
  }
};

// One row of the compatibility matrix.
struct VersionRow {
  std::string version;
  std::string major_minor;
  std::string tag;
  std::vector<int> java_supported;
  std::optional<int> java_recommended;  // nothing where the table offers none ("?")
  bool installed = false;
  std::optional<PythonRange> python_supported;
  std::optional<bool>
      python_fits;  // nothing where the range or the interpreter's version is unknown
};

// What `show_versions` found.
struct VersionsReport {
  std::vector<VersionRow> versions;
  std::optional<PySparkInfo> pyspark;
  std::optional<JavaInfo> java;
  std::optional<std::string> python_version;  // the interpreter's
  std::exception_ptr error;  // set when PySpark or Java detection failed: nothing else is filled
  // The package index as asked for the matrix (nothing without one), and the patches it lists
  // beyond the table (listed_beyond_catalogue).
  std::optional<IndexListing> index = std::nullopt;
  std::vector<ListedPatch> index_newer = {};
};

// A compute engine as match_cluster shows it.
struct ComputeSummary {
  std::string name;
  std::string type;  // "spark" when computes.yml gives none
  std::optional<std::string> master;
  std::optional<std::string> host;
  std::optional<std::string> runtime;  // config's `runtime`, a managed runtime's name
};

// How match_cluster looked for the cluster's version.
enum class DetectionPath { None, Standalone, Local, Databricks, SparkConnect, Runtime };

// The comparison of a found cluster version with the local PySpark.
struct ClusterComparison {
  std::string cluster_version;
  std::string cluster_major_minor;
  bool local_searched = false;
  std::optional<PySparkInfo> local;
  // On a mismatch, the Java versions of the cluster's line when the table holds it.
  std::optional<std::vector<int>> java_supported;
  bool java_searched = false;
  std::optional<JavaInfo> java;
  // A Databricks cluster: its runtime ("15.4"), and the local databricks-connect's version when
  // that provides pyspark. The databricks-connect whose major.minor is the runtime's fits it.
  std::optional<std::string> databricks_runtime;
  std::optional<std::string> databricks_connect;

  bool match() const {
    if (databricks_runtime && databricks_connect) {
      return major_minor_of(*databricks_connect) == *databricks_runtime;
    }
    return local && local->major_minor == cluster_major_minor;
  }
  // Whether the current Java runs the cluster's line; nothing when that was not looked at.
  std::optional<bool> java_fits() const;
};

// What match_cluster found.
struct MatchReport {
  std::string compute_name;
  std::optional<std::string> registry_error;  // computes.yml could not be read
  std::optional<ComputeSummary> compute;      // nothing (without registry_error): not defined
  DetectionPath path = DetectionPath::None;
  bool local_mode = false;                      // the local path took the local PySpark's version
  std::optional<bool> databricks_client;        // on the Databricks path: whether the client loads
  std::optional<ClusterComparison> comparison;  // nothing: no cluster version found
  std::exception_ptr error;
  // On the Databricks path: the cluster's runtime ("15.4"), where its credentials let plo ask.
  std::optional<std::string> databricks_runtime;
  // On the runtime path: the row of plo's runtime table that config's `runtime` names (nothing
  // for a name the table does not have).
  std::optional<ManagedRuntime> managed_runtime;

  bool ok() const { return comparison && comparison->match(); }
};

}  // namespace plo
