#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "compat/java_compat_service.h"
#include "compat/package_index.h"
#include "console/console.h"
#include "environment/databricks_client.h"
#include "environment/environment_probe.h"
#include "process/process_runner.h"
#include "registry/compute_registry.h"
#include "spark/installer_choice.h"
#include "spark/reports.h"
#include "spark/smoke_result.h"
#include "spark/switch_events.h"
#include "spark/switch_executor.h"
#include "spark/switch_plan.h"

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
  // The runtime key of a Databricks compute's cluster ("15.4.x-scala2.12"), or nothing where it
  // cannot be asked; called only on match_cluster's Databricks path.
  std::function<std::optional<std::string>(const ComputeRecord&)> databricks_runtime = {};
  // The folder whose nearest pyproject.toml applies (the current one); check looks for no project
  // file without it.
  std::function<std::filesystem::path()> project_folder = {};
  // The installer asked for (--installer, PLO_INSTALLER, [tool.plo] installer); pip by default.
  InstallerRequest installer = {};
  // Sees every event of a switch after it is printed (set-version's --json record).
  SwitchSink on_switch = {};
  // The installer's output is captured instead of shown (--json).
  bool capture_installer = false;
  // --system: a change may land in an interpreter outside any virtual or conda environment.
  bool system = false;
  // --keep-companions: a switch leaves the packages beside PySpark as they are.
  bool keep_companions = false;
  // --no-project: a switch leaves the project's requirement and lock as they are.
  bool no_project = false;
  // What the package index offers for companions that would not fit, by name; pip's dry run
  // over `runner` where unset (tests give a fake).
  std::function<std::map<std::string, CompanionOffer>(
      const std::vector<std::pair<std::string, std::string>>&)>
      companion_offers = {};
  // The versions of PySpark the package index lists, for a line's newest patch; without it a
  // line is the catalogue's entry.
  PackageIndex* package_index = nullptr;
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

  // The same without the menu: `version` is a full version taken as typed, or a line "X.Y"
  // standing for its newest patch (the catalogue's entry, or the package index's newer one).
  bool set_version(const std::string& version);

  // Compares the Spark version of a compute engine's cluster with the local PySpark; true when
  // their major.minor match.
  bool match_cluster(const std::string& compute_name);

  // match_cluster, then on a mismatch install_for_cluster; the result is the install's.
  bool match_cluster(const std::string& compute_name, bool install);

  // Prints the PySpark/Java compatibility matrix.
  void show_versions();

  // match_cluster's cluster version report for a found version, also the end of
  // `plo compute test`; true when the major.minor versions match.
  bool report_cluster_version(const std::string& cluster_version);

  // The Spark version of a compute engine's cluster as match_cluster finds it, or nothing when it
  // does not tell; throws when computes.yml cannot be read or does not define the compute.
  std::optional<std::string> cluster_version_of(const std::string& compute_name);

  // What check, show_versions and match_cluster find, before anything is printed.
  CheckReport check_report();
  VersionsReport versions_report();
  // `before_detection` sees the report once the compute is known, before its cluster is asked.
  MatchReport match_report(const std::string& compute_name,
                           const std::function<void(const MatchReport&)>& before_detection = {});

  // What install_for_cluster chose and whether it worked.
  struct ClusterInstall {
    std::optional<std::string> version;  // nothing: no version fits, or none was needed
    bool ok = false;
    // The installer of the switch (switch_installer's), where a version was to be installed;
    // nothing where none was, or neither installer can run.
    std::optional<InstallerKind> installer = std::nullopt;
  };

  // The installer a switch of this environment runs, chosen on the inputs the install phase
  // chooses from (one probe of the interpreter, uv on PATH, pip's settings): for the JSON
  // documents, since the install phase does not hand its choice out. Prints nothing.
  InstallerChoice switch_installer();

  // Installs the PySpark that fits a mismatched cluster through set_version's install phase;
  // ok without installing after a match, false where no version was found.
  ClusterInstall install_for_cluster(const MatchReport& report);

  // Steps of set_version, public so that they can be tested one by one.

  // Uninstalls the current PySpark; the flag, and the version that was installed (if any).
  std::pair<bool, std::optional<std::string>> _uninstall_pyspark();

  // Installs exactly that PySpark version with the interpreter's pip; true on success.
  bool _install_pyspark(const std::string& version);

  // Starts a local Spark session in a child process; success, or a message sorting the failure.
  std::pair<bool, std::string> _test_pyspark_java();

  // The smoke test with its diagnosis: a failure is a Java error only when Java is to blame
  // (SmokeDiagnosis); any other failure's message is the output's own first error line.
  using SmokeResult = plo::SmokeResult;
  SmokeResult smoke_test(std::optional<bool> java_fits);

  // The smoke test's session used once more before it stops: a two-row pandas frame through
  // createDataFrame and back with toPandas() (`plo doctor --deep` where pandas is installed).
  struct RoundTripResult {
    SmokeResult session;  // as smoke_test's
    // Nothing where the round trip did not run (the session did not start), "" where it
    // worked, else its error line ("AttributeError: 'DataFrame' object has no attribute ...").
    std::optional<std::string> pandas_error;
  };
  RoundTripResult smoke_test_with_pandas(std::optional<bool> java_fits);

 private:
  // Runs `script` as the smoke test runs its own: PYSPARK_PYTHON, SPARK_HOME where unset, the
  // driver's faster start, at most 60 seconds, killed with plo.
  ProcessResult run_session(const std::string& script);
  // The install phase: finds the environment, plans the switch to `asked`, runs it through the
  // executor and prints its events; true when `asked` ends up installed and working.
  bool switch_to(const SwitchAsked& asked);
  // What the switch finds now; throws when the interpreter does not answer.
  SwitchFound find_switch(const SwitchAsked& asked);
  SwitchServices switch_services();
  // Prints an event of a switch and hands it to the --json record.
  void emit(const SwitchEvent& event);
  // Plans the companions that move with `asked` (into asked.companions) and says so; false,
  // having ended the switch, where one that will not fit can move nowhere.
  bool plan_companions_for(SwitchAsked& asked, const std::optional<std::string>& from);
  // Plans what the project's own tool changes with `asked` (into asked.project) where the
  // interpreter is a uv or Poetry project's environment, and says so; false, having ended the
  // switch, where that tool cannot run.
  bool plan_project_for(SwitchAsked& asked, const std::optional<std::string>& from);
  // Ends a switch before its plan ran: its outcome for the --json record, and `ok`.
  bool finished_early(const SwitchAsked& asked, const std::optional<std::string>& from, bool ok,
                      const std::string& outcome, const std::string& error = {});
  void compare_cluster_version(const std::string& cluster_version, ClusterComparison& comparison);
  bool select_version(const std::optional<std::string>& requested);
  // The package index's PySpark versions (none without an index); the first call prints, on
  // standard error, why plo's table stands in for the index where it does.
  const std::vector<std::string>& listed_versions();
  // Tells on standard error where the package index has a newer patch of `line` than the
  // catalogue, or has a line the catalogue lacks.
  void tell_index_patch(const std::string& line);
  bool install_requested(const std::string& requested, const std::optional<JavaInfo>& java,
                         const std::optional<PySparkInfo>& current_pyspark);
  bool confirm_and_install(const std::string& version_to_install, const std::string& major_minor,
                           const std::optional<JavaInfo>& java,
                           const std::optional<PySparkInfo>& current_pyspark);
  // match_report while printing it: the compute block before the wait, the rest after.
  MatchReport printed_match_report(const std::string& compute_name);
  void heading(const std::string& title, const std::string& rule);
  // Fills check's project fields from the project file that applies here, if any.
  void add_project_status(CheckReport& report);

  // The distribution set-version installs over the PySpark found, keeping its flavour
  // ("pyspark", or "pyspark-client" over the Spark Connect client); prints why not and gives
  // nothing where it may not.
  std::optional<std::string> flavour_package(const std::optional<PySparkInfo>& current,
                                             const std::string& version);
  // A Spark Connect client's check after installing: `import pyspark` works and gives `version`.
  SmokeResult import_check(const std::string& version);

  TaskServices s_;
  bool index_told_ = false;  // listed_versions has printed its line
};

// Whether a VERSION argument names a line "X.Y" (two numbers) rather than a version.
bool is_line_request(std::string_view text);

// The version a VERSION argument names: a line is line_version's over the catalogue, the index's
// `listed` versions and the `installed` one (nothing when neither lists the line); any other text
// is taken as typed.
std::optional<std::string> requested_version(std::string_view text,
                                             const std::vector<VersionEntry>& versions,
                                             const std::vector<std::string>& listed = {},
                                             const std::optional<std::string>& installed = {});

// The PySpark version that fits a cluster: its exact version when that is a plain X.Y.Z, else the
// newest patch of its major.minor in the catalogue and the index's `listed` versions; nothing when
// neither exists.
std::optional<std::string> version_for_cluster(const std::string& cluster_version,
                                               const std::vector<VersionEntry>& versions,
                                               const std::vector<std::string>& listed = {});

// The smoke-test script run by _test_pyspark_java.
extern const std::string_view kSmokeTestScript;

// The smoke-test script with the pandas round trip before its session stops; it prints
// "PLO-PANDAS: OK" or "PLO-PANDAS: <error line>" after the smoke test's "OK".
std::string pandas_round_trip_script();

// The round trip's outcome in the script's output: "" where it worked, the error line where it
// failed, nothing where it did not run.
std::optional<std::string> pandas_round_trip_outcome(std::string_view out);

// The smoke test's environment: PYSPARK_PYTHON is the interpreter, an absent or empty SPARK_HOME
// becomes `pyspark_home` (the installed package's folder) when known, PYSPARK_SUBMIT_ARGS gives
// the driver JVM its faster start (tuned_submit_args), and SPARK_LAUNCHER_OPTS the same options to
// spark-class's launcher JVM where the user sets none.
std::vector<std::string> smoke_test_environment(std::vector<std::string> environment,
                                                const std::string& interpreter,
                                                const std::optional<std::string>& pyspark_home);

// What a finished session start tells, sorted as the smoke test sorts it (a timeout, an import
// that failed, Java to blame or not).
SmokeResult session_result(const ProcessResult& result, std::optional<bool> java_fits);

// Sorts a finished smoke test into its outcome: (true, "") only for exit status 0 with "OK".
std::pair<bool, std::string> classify_smoke_test(int exit_code, const std::string& out,
                                                 const std::string& err);

// What a failed smoke test's output tells about its cause.
struct SmokeDiagnosis {
  // Java is to blame: the output shows a Java-version signature (UnsupportedClassVersionError,
  // a class file version, getSubject and the security manager, "JAVA_HOME is not set"), or the
  // current Java is outside the line's list (`java_fits` false), or the Java gateway exited
  // where that list could not be checked.
  bool java_cause = false;
  // The JVM's or Python's own first error line (a signature's line first), raw; empty if none.
  std::string first_error_line;
};

// The exception line ("ModuleNotFoundError: No module named 'distutils'") when the smoke test
// failed while importing PySpark: the last traceback's innermost frame of the script is its import
// line. Nothing for a failure after the import (the JVM's start). Linear in the text.
std::optional<std::string> smoke_import_failure(std::string_view error_text);

// Diagnoses the error text of a failed smoke test; `java_fits` is whether the current Java is in
// the installed line's supported list (nothing when that cannot be told). Linear in the text.
SmokeDiagnosis diagnose_smoke_failure(std::string_view error_text, std::optional<bool> java_fits);

}  // namespace plo
