#pragma once

#include <optional>
#include <string>
#include <vector>

namespace plo {

// The folder of the pyspark package that `import pyspark` would load from this import path.
std::optional<std::string> find_pyspark_package(const std::vector<std::string>& import_path);

// Whether PySpark's launcher takes its conf folder from the environment alone (SPARK_CONF_DIR or
// a non-empty SPARK_HOME), so that the package folder is not needed to find spark-env.sh.
bool spark_conf_dir_from_environment();

// The spark-env.sh that PySpark's bin/spark-class reads:
// ${SPARK_CONF_DIR:-<home>/conf}/spark-env.sh, where home is a non-empty SPARK_HOME, else the
// pyspark package folder. Nothing when neither the environment nor a package says.
std::optional<std::string> spark_env_path(const std::optional<std::string>& pyspark_package);

}  // namespace plo
