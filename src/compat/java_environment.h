#pragma once

#include <optional>
#include <string>
#include <vector>

#include "environment/jdk_discovery.h"

namespace plo {

// The JDKs of the machine and plo's Java pin for the environment's PySpark: what `plo java`
// reaches the world through.
class JavaEnvironment {
 public:
  virtual ~JavaEnvironment() = default;

  // Every JDK found, each once, newest first; `current` on the one PySpark would use now.
  virtual std::vector<Jdk> find_jdks() = 0;

  // The JDK at a Java home the user names, or nothing when it has no executable bin/java.
  // Throws when its version cannot be told.
  virtual std::optional<Jdk> inspect_home(const std::string& home) = 0;

  // The spark-env.sh that the environment's PySpark reads, or nothing without a PySpark.
  virtual std::optional<std::string> spark_env_file() = 0;

  // The Java home of plo's pin, or nothing when there is none.
  virtual std::optional<std::string> pinned_home() = 0;

  // Writes plo's pin for `home` into spark-env.sh, keeping every other line. Throws, naming the
  // file, when it cannot.
  virtual void pin(const std::string& home) = 0;

  // Removes plo's pin; false when there was none.
  virtual bool unpin() = 0;
};

}  // namespace plo
