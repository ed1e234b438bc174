#include "environment/pyspark_home.h"

#include <filesystem>

#include "util/environment.h"

namespace plo {

std::optional<std::string> find_pyspark_package(const std::vector<std::string>& import_path) {
  namespace fs = std::filesystem;
  for (const std::string& entry : import_path) {
    const fs::path folder = (entry.empty() ? fs::path(".") : fs::path(entry)) / "pyspark";
    std::error_code error;
    if (!fs::is_regular_file(folder / "__init__.py", error)) continue;
    const fs::path absolute = fs::absolute(folder, error);
    return (error ? folder : absolute).lexically_normal().string();
  }
  return std::nullopt;
}

bool spark_conf_dir_from_environment() {
  return non_empty_env("SPARK_CONF_DIR") || non_empty_env("SPARK_HOME");
}

std::optional<std::string> spark_env_path(const std::optional<std::string>& pyspark_package) {
  if (auto conf = non_empty_env("SPARK_CONF_DIR")) return *conf + "/spark-env.sh";
  if (auto home = non_empty_env("SPARK_HOME")) return *home + "/conf/spark-env.sh";
  if (pyspark_package) return *pyspark_package + "/conf/spark-env.sh";
  return std::nullopt;
}

}  // namespace plo
