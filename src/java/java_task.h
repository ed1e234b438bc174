#pragma once

#include <functional>
#include <optional>
#include <string>

#include "compat/java_compat_service.h"
#include "compat/java_environment.h"
#include "compat/platform.h"
#include "console/console.h"

namespace plo {

// What the java commands reach the world through.
struct JavaServices {
  Console& console;
  JavaCompatService& compat;           // the installed PySpark and the Java it would use
  JavaEnvironment& java;               // the JDKs found and plo's pin
  std::function<Platform()> platform;  // called only by install_guide
};

// The shells whose syntax `plo java env` prints.
enum class Shell { Posix, Fish };

// `plo java ...`: find the JDKs, choose one and pin it for the environment's PySpark.
class JavaTask {
 public:
  explicit JavaTask(JavaServices services) : s_(std::move(services)) {}

  // Lists every JDK found, newest first, marked against the installed PySpark; with `json`, one
  // JSON document instead. Always true.
  bool search(bool json);

  // Pins a JDK for the environment's PySpark: chosen from a menu, by major version ("17") or by
  // its home (a path). False when nothing is pinned.
  bool set(const std::optional<std::string>& choice);

  // Removes plo's pin and says which Java PySpark will use now. Always true.
  bool unset();

  // Prints shell code that points JAVA_HOME and PATH at the pinned (else the current) Java. False,
  // with only a shell comment printed, when there is no Java.
  bool env(Shell shell);

  // Tells how to install the Java the installed PySpark recommends (or `version`) on this
  // platform; installs nothing. Always true.
  bool install_guide(std::optional<int> version);

 private:
  bool pin_jdk(const PySparkInfo& pyspark, const Jdk& jdk, const std::string& home);
  void heading(const std::string& title);

  JavaServices s_;
};

}  // namespace plo
