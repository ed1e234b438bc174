#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "doctor/doctor_task.h"

namespace plo {

// Which package provides the importable `pyspark`.
enum class Flavour {
  None,               // nothing provides it
  Classic,            // pyspark (maybe with pyspark-connect), or a pyspark pip does not manage
  ConnectClient,      // pyspark-client alone: Spark Connect, no JVM
  DatabricksConnect,  // databricks-connect's own pyspark: Spark Connect, no JVM
};

// The facts several areas share, each read once on first use. A read that throws throws again
// to every area that needs it, which then reports why it could not look.
class DoctorFacts {
 public:
  DoctorFacts(DoctorServices& services, const DoctorOptions& chosen)
      : s(services), options(chosen) {}

  DoctorServices& s;
  const DoctorOptions& options;

  const std::string& interpreter();
  // The interpreter's "major.minor.patch", or nothing when it is not known.
  const std::optional<std::string>& python_version();
  const std::optional<PySparkInfo>& pyspark();
  const std::vector<PySparkDistribution>& distributions();
  const std::optional<JavaInfo>& java();
  Flavour flavour();
  // The distribution of that name, if installed.
  const PySparkDistribution* distribution(std::string_view name);
  // What is installed beside PySpark, and each companion's verdict against the installed PySpark
  // (none without one).
  const InstalledBeside& beside();
  const std::vector<CompanionVerdict>& companions();
  // The local session of --deep, started once (with the pandas round trip where pandas is
  // installed), or nothing where no way to start one was handed over.
  const std::optional<SessionAnswer>& session();

  // The "major.minor" of another interpreter (asked once per path, in a short bounded child), or
  // nothing when it does not answer like Python.
  std::optional<std::string> python_minor_of(const std::string& executable);

 private:
  std::optional<std::string> interpreter_;
  std::optional<std::optional<std::string>> python_version_;
  std::optional<std::optional<PySparkInfo>> pyspark_;
  std::optional<std::vector<PySparkDistribution>> distributions_;
  std::optional<std::optional<JavaInfo>> java_;
  std::optional<InstalledBeside> beside_;
  std::optional<std::vector<CompanionVerdict>> companions_;
  std::optional<std::optional<SessionAnswer>> session_;
  std::map<std::string, std::optional<std::string>> minors_;
};

// The checks of each area.
void check_interpreter(DoctorFacts& facts, DoctorCheck& check);
void check_pyspark(DoctorFacts& facts, DoctorCheck& check);
void check_companions(DoctorFacts& facts, DoctorCheck& check);
void check_java(DoctorFacts& facts, DoctorCheck& check);
void check_spark_home(DoctorFacts& facts, DoctorCheck& check);
void check_worker_python(DoctorFacts& facts, DoctorCheck& check);
void check_submit_args(DoctorFacts& facts, DoctorCheck& check);
void check_jars(DoctorFacts& facts, DoctorCheck& check);
void check_computes(DoctorFacts& facts, DoctorCheck& check);
void check_project(DoctorFacts& facts, DoctorCheck& check);
void check_installer(DoctorFacts& facts, DoctorCheck& check);
void check_session(DoctorFacts& facts, DoctorCheck& check);
void check_pandas_round_trip(DoctorFacts& facts, DoctorCheck& check);

// The script that prints the interpreter's "major.minor".
extern const std::string_view kPythonMinorScript;

}  // namespace plo
