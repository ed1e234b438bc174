#include "compat/real_compat_service.h"

#include "compat/cluster_detect.h"
#include "compat/interpreter.h"
#include "compat/interpreter_cache.h"
#include "compat/java_detect.h"
#include "compat/pyspark_detect.h"

namespace plo {

std::optional<PySparkInfo> RealCompatService::get_pyspark_info() {
  const std::string interpreter = find_interpreter();
  const auto import_path = cached_import_path(interpreter_cache_folder(), interpreter, [&] {
    return query_import_path(runner_, interpreter);
  });
  return pyspark_on_path(import_path, PYSPARK_JAVA_COMPATIBILITY);
}

std::optional<JavaInfo> RealCompatService::get_current_java() {
  return detect_current_java(runner_);
}

std::pair<bool, std::string> RealCompatService::check_java_pyspark_compatibility(
    int java_version, std::string_view major_minor) {
  return plo::check_java_pyspark_compatibility(java_version, major_minor,
                                               PYSPARK_JAVA_COMPATIBILITY);
}

std::optional<std::string> RealCompatService::detect_spark_cluster_version(
    std::string_view master_url) {
  return detect_cluster_version(master_url, http_);
}

}  // namespace plo
