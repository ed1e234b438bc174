#pragma once

#include <functional>
#include <optional>
#include <string>

#include "compat/java_compat_service.h"
#include "compat/java_environment.h"
#include "console/console.h"
#include "download/jdk_installer.h"
#include "environment/platform.h"

namespace plo {

// What the java commands reach the world through.
struct JavaServices {
  Console& console;
  JavaCompatService& compat;           // the installed PySpark and the Java it would use
  JavaEnvironment& java;               // the JDKs found and plo's pin
  std::function<Platform()> platform;  // called only by install_guide
  JdkInstaller* installer = nullptr;   // plo's own JDKs: used only by install and uninstall
};

// What `plo java install` was asked to do.
struct InstallOptions {
  std::optional<int> version;  // a Java major; else the one PySpark recommends
  bool set = false;            // pin the JDK once installed
  bool yes = false;            // pin it even where PySpark does not support it
  bool json = false;           // one JSON document on standard output, no other output there
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

  // Installs the latest Eclipse Temurin JDK of a Java major into plo's folder, verified, and with
  // `set` pins it. True when it is installed (or was already) and, with `set`, pinned.
  bool install(const InstallOptions& options);

  // Removes a JDK plo installed, named by major version or Java home; the pinned one only with
  // `yes`, which removes the pin too. True when it was removed.
  bool uninstall(const std::string& target, bool yes);

 private:
  bool pin_jdk(const PySparkInfo& pyspark, const Jdk& jdk, const std::string& home);
  void heading(const std::string& title);
  // Says which Java PySpark will use now.
  void tell_current_java();

  JavaServices s_;
};

}  // namespace plo
