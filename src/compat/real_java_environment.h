#pragma once

#include "compat/java_environment.h"
#include "compat/real_compat_service.h"
#include "process/process_runner.h"

namespace plo {

// The JDKs on this machine and the pin in the spark-env.sh of the environment's PySpark.
class RealJavaEnvironment : public JavaEnvironment {
 public:
  RealJavaEnvironment(ProcessRunner& runner, RealCompatService& compat)
      : runner_(runner), compat_(compat) {}

  std::vector<Jdk> find_jdks() override;
  std::optional<Jdk> inspect_home(const std::string& home) override;
  std::optional<std::string> spark_env_file() override;
  std::optional<std::string> pinned_home() override;
  void pin(const std::string& home) override;
  bool unpin() override;

 private:
  // The real path of the home PySpark would use now, or nothing.
  std::optional<std::string> current_home(const std::optional<SparkEnvJava>& assigned);

  ProcessRunner& runner_;
  RealCompatService& compat_;
};

}  // namespace plo
