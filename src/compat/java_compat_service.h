#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalogue/companions.h"
#include "catalogue/versions.h"
#include "environment/distributions.h"
#include "environment/installed.h"
#include "environment/pyspark_flavour.h"

namespace plo {

// Everything the task knows about PySpark, Java and cluster versions.
class JavaCompatService {
 public:
  virtual ~JavaCompatService() = default;

  // The PySpark versions offered, in display order.
  virtual const std::vector<VersionEntry>& pyspark_versions() const = 0;

  // The Java versions each PySpark major.minor runs on.
  virtual const CompatTable& pyspark_java_compatibility() const = 0;

  // The installed PySpark, or nothing when it is not installed.
  virtual std::optional<PySparkInfo> get_pyspark_info() = 0;

  // The current Java, or nothing when no Java is found.
  virtual std::optional<JavaInfo> get_current_java() = 0;

  // Whether the Java version runs that PySpark major.minor, with a message for the user.
  virtual std::pair<bool, std::string> check_java_pyspark_compatibility(
      int java_version, std::string_view major_minor) = 0;

  // The Spark version of a standalone cluster ("spark://..."), or nothing when none answers.
  virtual std::optional<std::string> detect_spark_cluster_version(std::string_view master_url) = 0;

  // Writes plo's Java pin again when the environment had one as this service first saw it and it
  // is gone: installing PySpark may replace the folder that holds it. A pin changed meanwhile
  // stays as it is.
  virtual void restore_java_pin() = 0;

  // The folder of a PySpark stash (.plo-pyspark-stash) an interrupted set-version left on the
  // import path, or nothing.
  virtual std::optional<std::string> leftover_stash() = 0;

  // The interpreter's Python version ("3.10.13"), from the answer its import path came with, or
  // nothing when it is not known.
  virtual std::optional<std::string> python_version() = 0;

  // The distributions that provide or shape `pyspark` on the interpreter's import path, in path
  // order.
  virtual std::vector<PySparkDistribution> pyspark_distributions() = 0;

  // The version of another installed distribution on the interpreter's import path (normalised
  // name, "delta-spark"), the first found; nothing when it is not installed.
  virtual std::optional<std::string> distribution_version(std::string_view name) = 0;

  // What the interpreter's import path holds beside PySpark (its companions, PySpark's own
  // requirements, py4j), read from the distributions' metadata files.
  virtual InstalledBeside companions() = 0;

  // SPARK_HOME and the Spark found there, when the environment sets a non-empty one.
  virtual std::optional<SparkHomeFinding> spark_home() = 0;

  // Why the JAVA_HOME that spark-env.sh assigns names no Java (a CR kept from Windows line ends,
  // a folder without bin/java), or nothing when it assigns none or a usable one.
  virtual std::optional<std::string> spark_env_java_home_problem() = 0;
};

}  // namespace plo
