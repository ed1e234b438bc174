#include <filesystem>

#include "catalogue/versions.h"
#include "doctor/doctor_facts.h"
#include "environment/distributions.h"

namespace plo {
namespace {

bool same_folder(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error);
}

}  // namespace

void check_spark_home(DoctorFacts& facts, DoctorCheck& check) {
  const auto home = facts.s.env("SPARK_HOME");
  if (!home) {
    check.summary = "not set (PySpark uses its own package folder)";
    return;
  }
  if (home->empty()) {
    check.summary = "set, but empty";
    check.raise(CheckStatus::Error,
                "PySpark takes an empty SPARK_HOME as it is and looks for ./bin/spark-submit in "
                "the current folder: every start fails");
    check.fix = "unset SPARK_HOME";
    return;
  }
  const Flavour flavour = facts.flavour();
  if (flavour == Flavour::ConnectClient || flavour == Flavour::DatabricksConnect) {
    check.summary = *home + " (unused: a Spark Connect client launches no Spark)";
    return;
  }
  const auto& pyspark = facts.pyspark();
  if (pyspark && same_folder(*home, pyspark->location)) {
    check.summary = *home + " (the PySpark package's own Spark)";
    return;
  }
  const SparkDistribution spark = inspect_spark_distribution(*home);
  check.summary =
      (spark.version ? "Spark " + *spark.version : "Spark (version unknown)") + " at " + *home;
  if (!spark.has_spark_submit) {
    check.raise(CheckStatus::Error, *home + " has no bin/spark-submit: every Spark start fails");
    check.fix = "unset SPARK_HOME";
  }
  if (!spark.version) {
    check.raise(CheckStatus::Warning,
                "its Spark version cannot be told (no RELEASE file, no jars/spark-core_*.jar)");
  } else if (pyspark && *spark.version != pyspark->version) {
    const bool same_line = major_minor_of(*spark.version) == pyspark->major_minor;
    check.raise(same_line ? CheckStatus::Warning : CheckStatus::Error,
                "PySpark " + pyspark->version + " launches this Spark " + *spark.version +
                    " and its jars, not its own");
    if (!check.fix) check.fix = "unset SPARK_HOME";
  }
}

}  // namespace plo
