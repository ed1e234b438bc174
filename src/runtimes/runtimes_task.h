#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "compat/java_compat_service.h"
#include "compat/java_environment.h"
#include "console/console.h"
#include "runtimes/runtime_fit.h"

namespace plo {

// What the `plo runtimes` commands reach the world through. Installing PySpark belongs to
// set-version, another command group: the front end hands its one install door over.
struct RuntimesServices {
  Console& console;
  JavaCompatService& compat;
  JavaEnvironment& java;
  // Installs exactly that PySpark (or a line's catalogue entry) with set-version's install
  // transaction, `java_home` being the Java its smoke test starts where no pin decides it; true
  // when it ends up installed.
  std::function<bool(const std::string& version, const std::string& java_home)> install_pyspark;
  bool unicode_marks = true;  // ✓ and ✗, else v and x
};

// `plo runtimes`: one platform's rows or all, each with whether this environment fits it.
struct RuntimeListReport {
  std::optional<std::string> platform;
  std::vector<RuntimeFit> fits;  // in the table's order
};

// The runtime table's commands: list, show and use.
class RuntimesTask {
 public:
  explicit RuntimesTask(RuntimesServices services) : s_(std::move(services)) {}

  // Lists the runtimes (of one platform); false for a platform plo does not know.
  bool list(const std::optional<std::string>& platform, bool json);

  // Compares this environment with the runtime row by row; true when every row fits.
  bool show(const std::string& name, bool json);

  // Brings this environment to the runtime: its PySpark, then the Java pin; true when both fit
  // afterwards.
  bool use(const std::string& name);

  // What list and show compare against: the environment as it is now.
  LocalEnvironment local_environment();

 private:
  // The runtime of that name, or nothing after printing the closest names.
  const ManagedRuntime* named(const std::string& name, bool json);
  bool use_java(const ManagedRuntime& runtime, const std::optional<Jdk>& jdk);

  RuntimesServices s_;
};

// Up to three names of the table closest to a mistyped one, nearest first.
std::vector<std::string> closest_runtime_names(const std::string& name);

}  // namespace plo
