#pragma once

#include "compat/http_client.h"
#include "compat/java_compat_service.h"
#include "process/process_runner.h"

namespace plo {

// The compatibility service on the real machine: the interpreter of find_interpreter(), the Java
// of JAVA_HOME or PATH, and clusters over HTTP.
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

 private:
  ProcessRunner& runner_;
  HttpClient& http_;
};

}  // namespace plo
