#pragma once

#include <optional>
#include <string>
#include <vector>

#include "environment/distributions.h"

namespace plo {

// How the importable `pyspark` is installed.
enum class PySparkFlavour {
  Classic,            // the pyspark distribution (or one pip does not manage): needs Java
  Connect,            // pyspark-connect over pyspark: Spark Connect by default, still needs Java
  Client,             // pyspark-client alone: the Spark Connect client, pure Python, no JVM
  DatabricksConnect,  // databricks-connect's own pyspark package: a Connect client, no JVM
};

// The flavour's name in reports and --json: "classic", "connect", "client", "databricks-connect".
const char* flavour_name(PySparkFlavour flavour);

// Whether that flavour starts a local JVM, and so needs a local Java.
bool flavour_needs_java(PySparkFlavour flavour);

// What the distributions beside the importable pyspark package say about it.
struct PySparkFlavourFindings {
  PySparkFlavour flavour = PySparkFlavour::Classic;
  // The distribution that ships the package: pyspark, pyspark-client or databricks-connect;
  // nothing where none is installed beside it (a folder on PYTHONPATH, a copy without metadata).
  std::optional<PySparkDistribution> provider;
  std::optional<PySparkDistribution> connect;             // the pyspark-connect marker
  std::optional<PySparkDistribution> databricks_connect;  // also when it conflicts
  // Two or more distributions that each ship the pyspark package into the same folder, in the
  // order found: they overwrite each other's files, and uninstalling one breaks the other.
  std::vector<PySparkDistribution> conflicting;
};

// Classifies `distributions` (find_pyspark_distributions) against the pyspark package folder that
// import loads (`package`, as PySparkInfo::location); only those installed in that package's
// folder count. A pyspark distribution decides over the others, since Java is then needed.
PySparkFlavourFindings classify_pyspark_flavour(
    const std::vector<PySparkDistribution>& distributions, const std::string& package);

// The SPARK_HOME of the environment and the Spark distribution found there: PySpark's launcher
// starts that Spark's bin/spark-submit (and its jars) instead of its own.
struct SparkHomeFinding {
  std::string path;
  SparkDistribution spark;
};

// SPARK_HOME as PySpark reads it; nothing when it is unset or empty.
std::optional<SparkHomeFinding> find_spark_home();

}  // namespace plo
