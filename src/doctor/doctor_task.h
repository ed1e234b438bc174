#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "compat/java_compat_service.h"
#include "compat/java_environment.h"
#include "doctor/doctor_report.h"
#include "environment/pip_config.h"
#include "process/process_runner.h"
#include "project/pin_check.h"
#include "project/project_target.h"

namespace plo {

// What `plo compute test` found about one compute, as the doctor lists it.
struct ComputeAnswer {
  bool reachable = false;
  std::optional<std::string> spark_version;
  std::optional<std::string> error;
};

// How a local Spark session started by the smoke test ended.
struct SessionAnswer {
  bool ok = false;
  std::string message;           // the smoke test's sorting of the failure
  bool java_error = false;       // Java is to blame
  std::string first_error_line;  // the JVM's or Python's own first error line
  // With the pandas round trip: nothing where it did not run, "" where it worked, else its error
  // line ("AttributeError: 'DataFrame' object has no attribute 'iteritems'").
  std::optional<std::string> pandas_error = std::nullopt;
};

// Which installer a PySpark switch would run here, and what it is chosen from, as the front end
// reads it for a switch (the install phase's choice on the same inputs).
struct InstallerOutlook {
  std::optional<std::string> chosen;  // "pip" or "uv"; nothing: neither can run here
  std::optional<std::string> asked;   // "pip" or "uv": PLO_INSTALLER or [tool.plo] installer
  std::string asked_by;               // "PLO_INSTALLER", "[tool.plo] in FILE"
  bool uv_on_path = false;
  // pip's settings that uv would ignore, read whether or not uv is asked for.
  std::vector<PipSetting> pip_settings;
};

// What the doctor reaches the world through.
struct DoctorServices {
  JavaCompatService& compat;
  JavaEnvironment& java;
  ProcessRunner& runner;                     // asks another interpreter its Python version
  std::function<std::string()> interpreter;  // the interpreter that hosts PySpark; throws if none
  // A variable's value when it is set, even to an empty text.
  std::function<std::optional<std::string>(const char*)> env;
  // The VIRTUAL_ENV that names no interpreter, or nothing.
  std::function<std::optional<std::string>()> stale_virtual_env;
  std::function<std::string()> computes_path;  // throws when no folder can be named
  // Tests one compute of computes.yml within its own time limits (--clusters).
  std::function<ComputeAnswer(const std::string&)> test_compute = {};
  // Starts a local session as set-version's smoke test does; `java_fits` is whether the current
  // Java is in the line's list, when known (--deep).
  std::function<SessionAnswer(std::optional<bool> java_fits)> start_session = {};
  // The same session, used for a pandas round trip before it stops (createDataFrame from a
  // two-row pandas frame, then toPandas); asked instead where pandas is installed (--deep).
  std::function<SessionAnswer(std::optional<bool> java_fits)> start_session_with_pandas = {};
  // The project file that applies here and whether the environment matches it, or nothing where
  // none applies; throws when the file cannot be read.
  std::function<std::optional<ProjectStatus>()> project = {};
  // The project's PySpark pins found here (requirements, locks) against that status and the
  // installed PySpark.
  std::function<PinReport(const std::optional<ProjectStatus>&)> project_pins = {};
  // The installer a switch would run here; throws std::invalid_argument for a PLO_INSTALLER that
  // names neither, and as `interpreter` does when there is none.
  std::function<InstallerOutlook()> installer = {};
};

// What to look at beyond the fast checks.
struct DoctorOptions {
  bool clusters = false;  // ask every compute of computes.yml
  bool deep = false;      // start a local session
};

class DoctorFacts;

// One area: its names, and the check that reads what it needs through the facts (each read once)
// and fills in how the area stands.
struct DoctorArea {
  std::string area;
  std::string title;
  std::function<void(DoctorFacts&, DoctorCheck&)> check;
};

// The areas looked at, in the order they are reported; adding an area is adding a function here.
std::vector<DoctorArea> doctor_areas(const DoctorOptions& options);

// `plo doctor`: looks at everything plo knows about the environment, without starting a JVM
// unless --deep asks for a session.
class DoctorTask {
 public:
  DoctorTask(DoctorServices services, DoctorOptions options)
      : s_(std::move(services)), options_(options) {}

  // Every area's check; an area that cannot be looked at is an error saying why.
  DoctorReport report();

 private:
  DoctorServices s_;
  DoctorOptions options_;
};

}  // namespace plo
