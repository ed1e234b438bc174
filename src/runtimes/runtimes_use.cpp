// `plo runtimes use`: the runtime's PySpark through set-version's install transaction, then plo's
// Java pin on a JDK of the runtime's Java.

#include "catalogue/runtimes.h"
#include "runtimes/runtimes_task.h"
#include "util/escape.h"

namespace plo {
namespace {

// The newest JDK of that major found on the machine.
std::optional<Jdk> newest_jdk(JavaEnvironment& java, int major) {
  for (const Jdk& jdk : java.find_jdks()) {
    if (jdk.version == major) return jdk;  // find_jdks lists the newest first
  }
  return std::nullopt;
}

}  // namespace

bool RuntimesTask::use_java(const ManagedRuntime& runtime, const std::optional<Jdk>& jdk) {
  Console& c = s_.console;
  if (!runtime.java) return true;
  const std::string major = std::to_string(*runtime.java);
  const auto java = s_.compat.get_current_java();
  if (java && java->version == *runtime.java && java->found_in == "pin") {
    c.echo("  Java " + major + " is already pinned for PySpark");
    return true;
  }
  if (!jdk) {
    c.echo(
        c.style("  No Java " + major + " found: run 'plo java install " + major + "'", Color::Red));
    return false;
  }
  s_.java.pin(jdk->home);
  c.echo(c.style("  Pinned Java " + major + " (" + escape_controls(jdk->vendor) + ") at " +
                     escape_controls(jdk->home) + " for PySpark",
                 Color::Green));
  return true;
}

bool RuntimesTask::use(const std::string& name) {
  const ManagedRuntime* runtime = named(name, false);
  if (!runtime) return false;
  Console& c = s_.console;
  c.echo();
  c.echo(c.style("Matching " + runtime->title + " (" + runtime->name + ")", Color::Cyan, true));
  if (runtime->spark.empty()) {
    c.echo(c.style(
        "  The vendor's page names no Spark version for " + runtime->title + ": nothing to install",
        Color::Red));
    c.echo();
    return false;
  }
  const auto pyspark = s_.compat.get_pyspark_info();
  const auto java = s_.compat.get_current_java();
  const std::optional<Jdk> jdk =
      runtime->java ? newest_jdk(s_.java, *runtime->java) : std::optional<Jdk>();
  const bool java_right =
      !runtime->java || (java && java->version == *runtime->java && java->found_in == "pin");
  const bool pyspark_right = pyspark && version_fits(pyspark->version, runtime->spark);

  // Where a PySpark is there to hold the pin, the pin comes first: the install keeps it, and its
  // smoke test then starts the runtime's Java.
  const bool pin_first = !java_right && jdk && pyspark && !pyspark_right;
  const std::optional<std::string> old_pin =
      pin_first ? s_.java.pinned_home() : std::optional<std::string>();
  bool java_ok = true;
  if (pin_first) java_ok = use_java(*runtime, jdk);

  if (pyspark_right) {
    c.echo("  PySpark " + pyspark->version + " is already installed");
  } else if (!s_.install_pyspark(runtime->spark, jdk ? jdk->home : std::string())) {
    c.echo(c.style("  PySpark " + runtime->spark + " was not installed", Color::Red));
    if (pin_first) {
      // The PySpark left (the previous one, rolled back) gets its pin back.
      if (old_pin) {
        s_.java.pin(*old_pin);
      } else {
        s_.java.unpin();
      }
      c.echo("  The Java pin is back as it was");
    }
    c.echo();
    return false;
  } else {
    c.echo(c.style("  PySpark " + runtime->spark + " installed" +
                       (pyspark ? " (was " + pyspark->version + ")" : std::string()),
                   Color::Green));
  }
  if (!pin_first) java_ok = use_java(*runtime, jdk);
  c.echo();
  return java_ok;
}

}  // namespace plo
