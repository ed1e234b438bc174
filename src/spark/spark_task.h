#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "compat/databricks_client.h"
#include "compat/environment_probe.h"
#include "compat/java_compat_service.h"
#include "console/console.h"
#include "process/process_runner.h"
#include "registry/compute_registry.h"

namespace plo {

// What the task reaches the world through.
struct TaskServices {
  Console& console;
  JavaCompatService& compat;
  ProcessRunner& runner;
  std::function<std::string()> interpreter;  // the interpreter executable that hosts PySpark
  ComputeRegistryFactory compute_registry;   // called only by match_cluster
  DatabricksClientFactory databricks;        // called only on match_cluster's Databricks path
  // The Spark version of a Spark Connect server ("sc://..."), or nothing when it does not tell;
  // called only on match_cluster's Spark Connect path.
  std::function<std::optional<std::string>(const std::string&)> spark_connect_version = {};
};

// Task for managing Spark/PySpark installations.
class SparkTask {
 public:
  explicit SparkTask(TaskServices services) : s_(std::move(services)) {}

  // Reports the installed PySpark, the current Java and whether they fit; true when they do.
  bool check();

  // Interactive selection and installation with verification and rollback; true when the
  // chosen version ends up installed and working (or already was).
  bool set_version();

  // Compares the Spark version of a compute engine's cluster with the local PySpark; true when
  // their major.minor match.
  bool match_cluster(const std::string& compute_name);

  // Prints the PySpark/Java compatibility matrix.
  void show_versions();

  // match_cluster's cluster version report for a found version, also the end of
  // `plo compute test`; true when the major.minor versions match.
  bool report_cluster_version(const std::string& cluster_version);

  // Steps of set_version, public so that they can be tested one by one.

  // Uninstalls the current PySpark; the flag, and the version that was installed (if any).
  std::pair<bool, std::optional<std::string>> _uninstall_pyspark();

  // Installs exactly that PySpark version with the interpreter's pip; true on success.
  bool _install_pyspark(const std::string& version);

  // Starts a local Spark session in a child process; success, or a message sorting the failure.
  std::pair<bool, std::string> _test_pyspark_java();

 private:
  struct Stash;
  bool install_phase(const std::string& version_to_install, const std::string& major_minor,
                     const std::vector<int>& supported,
                     const std::optional<PySparkInfo>& current_pyspark);
  void report_state_after_interrupt(const std::optional<std::string>& previous_version);
  // Checks, before anything changes, that the installer can run and that it manages the installed
  // PySpark; prints why not and returns false otherwise. Chooses uv where pip is missing.
  bool installer_can_replace(const EnvironmentProbe& environment, const std::string& interpreter,
                             const std::optional<PySparkInfo>& current);
  std::vector<std::string> installer_argv(const std::string& action, const std::string& argument);
  // Whether the interpreter now has exactly `version` installed, as pip's metadata says.
  bool installed_version_is(const std::string& version);
  void heading(const std::string& title, const std::string& rule);

  TaskServices s_;
  std::optional<std::string> uv_;  // uv's path while an install phase uses it instead of pip
};

// The smoke-test script run by _test_pyspark_java.
extern const std::string_view kSmokeTestScript;

// The smoke test's environment: PYSPARK_PYTHON is the interpreter, and an absent or empty
// SPARK_HOME becomes `pyspark_home` (the installed package's folder) when known.
std::vector<std::string> smoke_test_environment(std::vector<std::string> environment,
                                                const std::string& interpreter,
                                                const std::optional<std::string>& pyspark_home);

// Sorts a finished smoke test into its outcome: (true, "") only for exit status 0 with "OK".
std::pair<bool, std::string> classify_smoke_test(int exit_code, const std::string& out,
                                                 const std::string& err);

}  // namespace plo
