#include "catalogue/databricks_runtimes.h"
#include "catalogue/pep440.h"
#include "environment/pyspark_flavour.h"
#include "spark/spark_task.h"
#include "spark/text_report.h"
#include "util/escape.h"
#include "util/text.h"

namespace plo {
namespace {

constexpr auto kImportCheckTimeLimit = std::chrono::seconds(60);

// Prints the version only: nothing of pyspark beyond its import runs.
constexpr std::string_view kImportCheckScript =
    "import sys\nimport pyspark\nsys.stdout.write('plo-version:'+pyspark.__version__+'\\n')\n";

// The newest Databricks runtime whose Spark is of `major_minor`'s line, as "X.Y"; nothing when
// none is known.
std::optional<std::string> runtime_for_spark_line(const std::string& major_minor) {
  std::optional<std::string> newest;
  for (int major = 12; major <= 19; ++major) {
    for (int minor = 0; minor <= 4; ++minor) {
      const std::string runtime = std::to_string(major) + "." + std::to_string(minor);
      const auto spark = databricks_runtime_spark(runtime);
      if (spark && major_minor_of(*spark) == major_minor) newest = runtime;
    }
  }
  return newest;
}

// The major version of a version text (its leading digits), or 0 when it has none.
int leading_number(std::string_view version) {
  int major = 0;
  for (size_t i = 0; i < version.size() && i < 6 && version[i] >= '0' && version[i] <= '9'; ++i) {
    major = major * 10 + (version[i] - '0');
  }
  return major;
}

}  // namespace

std::optional<std::string> SparkTask::flavour_package(const std::optional<PySparkInfo>& current,
                                                      const std::string& version) {
  if (!current) return "pyspark";
  Console& c = s_.console;
  const PySparkFlavourFindings found =
      classify_pyspark_flavour(s_.compat.pyspark_distributions(), current->location);
  if (found.databricks_connect) {
    // It ships its own pyspark package: pip would lay one over the other.
    const std::string client = escape_controls(found.databricks_connect->version);
    c.echo();
    c.echo(c.style("databricks-connect " + client +
                       " provides pyspark here: plo does not install pyspark over it",
                   Color::Red));
    c.echo("   The two overwrite each other's files; Databricks says they are mutually exclusive.");
    c.echo("   To switch to PySpark " + version + ":");
    c.echo("     pip uninstall -y databricks-connect pyspark");
    c.echo("     plo spark set-version " + version);
    const std::string line = major_minor_of(version);
    if (const auto runtime = runtime_for_spark_line(line)) {
      c.echo("   To keep Databricks Connect, for a cluster on Spark " + line + " (runtime " +
             *runtime + "):");
      c.echo("     pip install \"databricks-connect==" + *runtime + ".*\"");
    } else {
      c.echo("   To keep Databricks Connect, install the version of your cluster's runtime:");
      c.echo("     pip install \"databricks-connect==X.Y.*\"  (runtime X.Y)");
    }
    c.echo();
    return std::nullopt;
  }
  if (!found.conflicting.empty()) {
    c.echo();
    print_pyspark_conflict(c, found.conflicting);
    return std::nullopt;
  }
  if (found.flavour != PySparkFlavour::Client) return "pyspark";
  // pyspark-client is published from 4.0 on.
  if (leading_number(version) < 4) {
    c.echo();
    c.echo(
        c.style("pyspark-client (the Spark Connect client) provides pyspark here, and it exists "
                "from 4.0 on: there is no pyspark-client " +
                    escape_controls(version),
                Color::Red));
    c.echo("   To use PySpark " + escape_controls(version) + ", which runs Spark locally on Java:");
    c.echo("     pip uninstall -y pyspark-client");
    c.echo("     plo spark set-version " + escape_controls(version));
    c.echo();
    return std::nullopt;
  }
  return "pyspark-client";
}

SparkTask::SmokeResult SparkTask::import_check(const std::string& version) {
  s_.console.echo(
      "  Checking that pyspark imports (a Spark Connect client starts no local Spark)...");
  try {
    const ProcessResult result =
        s_.runner.run({.argv = {s_.interpreter(), "-c", std::string(kImportCheckScript)},
                       .time_limit = kImportCheckTimeLimit,
                       .die_with_plo = true});
    if (result.timed_out) return {false, "Test timed out", false, ""};
    const auto at = result.out.rfind("plo-version:");
    if (result.exit_code != 0 || at == std::string::npos) {
      const std::string& text = result.err.empty() ? result.out : result.err;
      std::string line = diagnose_smoke_failure(text, true).first_error_line;
      if (line.empty()) line = "exit status " + std::to_string(result.exit_code);
      return {false, first_chars(line, 200), false, line};
    }
    const std::string found(trim_blanks(std::string_view(result.out).substr(at + 12)));
    if (!same_version(version, found)) {
      return {false, "import pyspark gives version " + first_chars(found, 60), false, ""};
    }
    return {true, "", false, ""};
  } catch (const std::exception& e) {
    return {false, e.what(), false, ""};
  }
}

}  // namespace plo
