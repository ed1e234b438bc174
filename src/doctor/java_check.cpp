#include "catalogue/versions.h"
#include "doctor/doctor_facts.h"
#include "util/environment.h"

namespace plo {
namespace {

std::string why_this_java(const std::string& found_in) {
  if (found_in == "pin") return "plo's pin in spark-env.sh";
  if (found_in == "spark-env.sh") return "JAVA_HOME in spark-env.sh";
  if (found_in == "JAVA_HOME") return "JAVA_HOME";
  if (found_in == "PATH") return "java on PATH";
  return "unknown source";
}

// The Java to set for a line: its recommended one, else its newest supported, else 17.
int java_to_set(const std::optional<PySparkInfo>& pyspark) {
  if (pyspark && pyspark->java_recommended) return *pyspark->java_recommended;
  if (pyspark && !pyspark->java_supported.empty()) return pyspark->java_supported.back();
  return 17;
}

void explain_missing_java(DoctorFacts& facts, DoctorCheck& check) {
  if (const auto problem = facts.s.compat.spark_env_java_home_problem()) {
    check.details.push_back(*problem);
  } else if (const auto home = facts.s.env("JAVA_HOME"); home && !home->empty()) {
    check.details.push_back("JAVA_HOME is '" + *home + "', which holds no bin/java");
  } else {
    check.details.push_back("no JAVA_HOME, and no java on PATH");
  }
}

}  // namespace

void check_java(DoctorFacts& facts, DoctorCheck& check) {
  const Flavour flavour = facts.flavour();
  if (flavour == Flavour::ConnectClient || flavour == Flavour::DatabricksConnect) {
    check.summary = "not needed (a Spark Connect client starts no local JVM)";
    return;
  }
  const auto& pyspark = facts.pyspark();
  const auto& java = facts.java();
  const int wanted = java_to_set(pyspark);
  if (!java) {
    check.summary = "not found";
    // Without PySpark nothing starts a JVM yet.
    check.raise(
        pyspark ? CheckStatus::Error : CheckStatus::Warning,
        pyspark ? "PySpark cannot start a local session without Java" : "PySpark will need one");
    explain_missing_java(facts, check);
    check.fix = "plo java install " + std::to_string(wanted) + " --set";
  } else {
    check.summary = std::to_string(java->version) + " (" + java->vendor + ") at " + java->path +
                    ", from " + why_this_java(java->found_in);
    if (pyspark) {
      const auto [fits, message] =
          facts.s.compat.check_java_pyspark_compatibility(java->version, pyspark->major_minor);
      if (!fits && !pyspark->java_supported.empty()) {
        check.raise(CheckStatus::Error, message);
        check.fix = "plo java set " + std::to_string(wanted);
      } else if (!fits) {
        check.details.push_back(message);
      }
    }
  }
  if (const auto pinned = facts.s.java.pinned_home();
      pinned && !is_executable_file(*pinned + "/bin/java")) {
    check.raise(CheckStatus::Error,
                "plo's pin names " + *pinned + ", which holds no bin/java (the JDK was removed)");
    check.fix = "plo java set " + std::to_string(wanted);
  }
  if (const auto loaded = facts.s.env("SPARK_ENV_LOADED"); loaded && !loaded->empty()) {
    check.raise(CheckStatus::Warning,
                "SPARK_ENV_LOADED is set: Spark skips spark-env.sh, and with it plo's Java pin");
    if (!check.fix) check.fix = "unset SPARK_ENV_LOADED";
  }
}

}  // namespace plo
