#include "spark/text_report.h"

#include <algorithm>

#include "catalogue/databricks_runtimes.h"

#include "spark/display.h"
#include "util/escape.h"
#include "util/secrets.h"

namespace plo {
namespace {

void heading(Console& c, const std::string& title, const std::string& rule) {
  c.echo();
  c.echo(c.style(title, Color::Cyan, true));
  c.echo(rule);
}

std::string recommended_text(const std::optional<int>& recommended) {
  return recommended ? std::to_string(*recommended) : "?";
}

std::string name_and_version(const PySparkDistribution& d) {
  return escape_controls(d.version.empty() ? d.name : d.name + " " + d.version);
}

// The requirement that installs `d` again: databricks-connect by its runtime's line.
std::string requirement_of(const PySparkDistribution& d) {
  if (d.version.empty()) return d.name;
  if (d.name == "databricks-connect") {
    if (const auto line = databricks_runtime_line(d.version)) {
      return "\"databricks-connect==" + *line + ".*\"";
    }
  }
  return escape_controls(d.name + "==" + d.version);
}

// The flavour of a PySpark that is not the classic package alone.
void print_flavour_line(Console& c, const PySparkFlavourFindings& f) {
  if (!f.provider) return;
  const PySparkDistribution& d = *f.provider;
  switch (f.flavour) {
    case PySparkFlavour::Classic:
      return;
    case PySparkFlavour::Connect:
      c.echo("  Package:       " + name_and_version(*f.connect) +
             " (Spark Connect by default, over pyspark)");
      return;
    case PySparkFlavour::Client:
      c.echo("  Package:       " + name_and_version(d) + " (Spark Connect client only)");
      return;
    case PySparkFlavour::DatabricksConnect: {
      std::string line = "  Package:       Databricks Connect " + escape_controls(d.version);
      if (const auto spark = databricks_runtime_spark(d.version)) {
        line += " (Spark " + major_minor_of(*spark) + ")";
      }
      c.echo(line);
      return;
    }
  }
}

}  // namespace

void print_pyspark_conflict(Console& c, const std::vector<PySparkDistribution>& conflicting) {
  std::string names;
  std::vector<std::string> uninstall;
  bool databricks = false;
  for (const PySparkDistribution& d : conflicting) {
    names += (names.empty() ? "" : " and ") + name_and_version(d);
    if (std::find(uninstall.begin(), uninstall.end(), d.name) == uninstall.end()) {
      uninstall.push_back(d.name);
    }
    databricks = databricks || d.name == "databricks-connect";
  }
  c.echo(c.style(
      "  " + names + " are installed together: they overwrite each other's pyspark " + "package",
      Color::Red));
  if (databricks)
    c.echo("  Databricks says databricks-connect and pyspark are mutually exclusive.");
  std::string remove = "pip uninstall -y";
  for (const std::string& name : uninstall) remove += " " + escape_controls(name);
  if (uninstall.size() < conflicting.size()) {
    c.echo("  Keep one: run '" + remove + "' until pip says none is installed, then one of:");
  } else {
    c.echo("  Keep one: run '" + remove + "', then one of:");
  }
  std::vector<std::string> shown;
  for (const PySparkDistribution& d : conflicting) {
    const std::string requirement = requirement_of(d);
    if (std::find(shown.begin(), shown.end(), requirement) != shown.end()) continue;
    shown.push_back(requirement);
    c.echo("    pip install " + requirement);
  }
  c.echo();
}

void print_comparison(Console& c, const ClusterComparison& r) {
  heading(c, "Cluster Information", kHyphens40);
  c.echo("  Spark Version: " + r.cluster_version);
  if (r.databricks_runtime) c.echo("  Runtime:       Databricks " + *r.databricks_runtime);
  if (!r.local_searched) return;

  heading(c, "Version Comparison", kHyphens40);
  std::vector<std::string> recommendation = {"  Run 'plo spark set-version' and select PySpark " +
                                             r.cluster_major_minor + ".x"};
  if (r.databricks_runtime) {
    // A Databricks cluster is reached through databricks-connect of its runtime's line.
    recommendation = {"  pip install \"databricks-connect==" + *r.databricks_runtime + ".*\""};
    if (r.local && !r.databricks_connect) {
      recommendation.insert(
          recommendation.begin(),
          "  Databricks Connect replaces pyspark: pip uninstall -y pyspark, then");
    }
  }
  if (!r.local) {
    c.echo(c.style("  PySpark not installed locally", Color::Red));
    c.echo();
    for (const std::string& line : recommendation) c.echo(line);
    c.echo();
    return;
  }
  c.echo("  Driver (local): PySpark " + r.local->version);
  c.echo("  Cluster:        Spark " + r.cluster_version);
  if (r.databricks_connect)
    c.echo("  Databricks Connect " + escape_controls(*r.databricks_connect));
  if (r.match()) {
    c.echo();
    c.echo(c.style("  Versions match!", Color::Green));
    c.echo();
    return;
  }

  c.echo();
  c.echo(c.style("  VERSION MISMATCH!", Color::Red, true));
  c.echo();
  if (r.databricks_connect) {
    c.echo("  Driver (local): Databricks Connect " +
           escape_controls(major_minor_of(*r.databricks_connect)));
    c.echo("  Cluster:        Databricks Runtime " + *r.databricks_runtime);
  } else {
    c.echo("  Driver (local): PySpark " + r.local->major_minor);
    c.echo("  Cluster:        Spark " + r.cluster_major_minor);
  }
  c.echo();
  c.echo(c.style("Recommendation:", Color::Yellow));
  for (const std::string& line : recommendation) c.echo(line);
  c.echo();

  if (!r.java_supported || !r.java_searched) return;
  c.echo(c.style("Java Note:", Color::Yellow));
  c.echo("  PySpark " + r.cluster_major_minor + " requires Java " +
         java_list_text(*r.java_supported));
  if (r.java) {
    const std::string current = "  Current Java " + std::to_string(r.java->version);
    if (*r.java_fits()) {
      c.echo(current + " is compatible");
    } else {
      c.echo(current + " is NOT compatible");
      c.echo("  Run 'plo java set' to select a compatible version");
    }
  }
  c.echo();
}

// What is wrong with how PySpark is installed, after the Java block: each a red line and how to
// fix it.
static void print_installation_problems(Console& c, const CheckReport& r) {
  if (r.flavour && !r.flavour->conflicting.empty()) {
    print_pyspark_conflict(c, r.flavour->conflicting);
  }
  if (r.spark_home_mismatch()) {
    const SparkHomeFinding& home = *r.spark_home;
    const std::string path = escape_controls(home.path);
    if (!home.spark.has_spark_submit) {
      c.echo(c.style("  SPARK_HOME is " + path +
                         ", which has no bin/spark-submit: PySpark will fail to launch Spark there",
                     Color::Red));
    } else {
      c.echo(c.style("  SPARK_HOME is " + path + " (Spark " + *home.spark.version + "): PySpark " +
                         r.pyspark->version + " will launch that Spark, not its own",
                     Color::Red));
    }
    c.echo("  Unset SPARK_HOME (PySpark then launches its own Spark), or point it at Spark " +
           r.pyspark->version);
    c.echo();
  }
}

// check's PySpark and Java blocks.
static void print_pyspark_and_java(Console& c, const CheckReport& r) {
  heading(c, "PySpark Status", kHyphens40);
  if (!r.pyspark) {
    if (r.error) return;
    c.echo(c.style("  PySpark not installed!", Color::Red));
    c.echo_err("PySpark was looked for with " + escape_controls(r.python));
    c.echo();
    c.echo("  Install with: pip install pyspark");
    c.echo("  Or run 'plo spark set-version' to select a version");
    c.echo();
    return;
  }
  const std::string supported = java_list_text(r.pyspark->java_supported);
  c.echo("  Version:       " + r.pyspark->version);
  c.echo("  Major.Minor:   " + r.pyspark->major_minor);
  c.echo("  Required Java: " + supported);
  c.echo("  Recommended:   Java " + recommended_text(r.pyspark->java_recommended));
  if (r.flavour) print_flavour_line(c, *r.flavour);

  heading(c, "Java Compatibility", kHyphens40);
  if (!r.java_needed()) {
    c.echo(c.style(r.flavour->flavour == PySparkFlavour::DatabricksConnect
                       ? "  Databricks Connect (a Spark Connect client): no local Java needed"
                       : "  Spark Connect client: no local Java needed",
                   Color::Green));
    c.echo();
    return;
  }
  if (!r.java_searched) return;
  if (!r.java) {
    c.echo(c.style("  Java not found!", Color::Red));
    c.echo();
    c.echo("  PySpark " + r.pyspark->version + " requires Java " + supported);
    c.echo();
    c.echo("  Run 'plo java search' to find Java installations");
    c.echo("  Run 'plo java install' for installation guide");
    c.echo();
    return;
  }
  c.echo("  JAVA_HOME: " + escape_controls(r.java->path));
  c.echo("  Version:   Java " + std::to_string(r.java->version));
  c.echo("  Vendor:    " + r.java->vendor);
  if (!r.compatible) return;
  c.echo();
  if (*r.compatible) {
    c.echo(c.style("  " + r.message, Color::Green));
  } else {
    c.echo(c.style("  " + r.message, Color::Red));
    c.echo();
    c.echo("  Run 'plo java set' to select a compatible Java version");
  }
  c.echo();
}

// Lines only when the interpreter's Python is outside the installed line's range.
static void print_python_fit(Console& c, const CheckReport& r) {
  if (r.python_fits != false) return;
  const std::string python = python_major_minor(*r.python_version);
  c.echo(c.style("  Python " + python + " is not supported by PySpark " + r.pyspark->major_minor +
                     " (Python " + r.python_supported->min + " to " + r.python_supported->max + ")",
                 Color::Red));
  c.echo();
  c.echo("  Run 'plo spark set-version' to select a version that supports Python " + python);
  c.echo();
}

void print_check(Console& c, const CheckReport& r) {
  print_pyspark_and_java(c, r);
  print_python_fit(c, r);
  if (r.pyspark && !r.error) print_installation_problems(c, r);
}

void print_project_drift(Console& c, const CheckReport& r) {
  if (r.project_error) {
    c.echo(c.style("  " + escape_controls(without_secrets(*r.project_error)), Color::Red));
    c.echo();
  } else if (r.project) {
    if (const auto line = drift_line(*r.project)) {
      c.echo(c.style(*line, Color::Yellow));
      c.echo();
    }
    if (const auto line = python_drift_line(*r.project)) {
      c.echo(c.style(*line, Color::Red));
      c.echo();
    }
    for (const std::string& contradiction : r.project->target.contradictions) {
      c.echo(c.style("  pyproject.toml: " + escape_controls(contradiction) + " (the key wins)",
                     Color::Yellow));
    }
    if (!r.project->target.contradictions.empty()) c.echo();
  }
}

std::vector<std::string> pin_lines(const CheckReport& r) {
  std::vector<std::string> lines;
  for (const PinConflict& conflict : r.pins.conflicts) {
    lines.push_back(without_secrets(conflict.problem) + ". Fix: " + without_secrets(conflict.fix));
  }
  return lines;
}

std::vector<std::string> companion_lines(const CheckReport& r) {
  std::vector<std::string> lines;
  for (const CompanionVerdict& companion : r.companions) {
    if (companion.fits()) continue;
    lines.push_back(escape_controls(companion.reason) +
                    ". Fix: " + escape_controls(companion_fix_command(r.python, companion.fix)));
  }
  return lines;
}

void print_versions(Console& c, const VersionsReport& r) {
  heading(c, "PySpark/Java Compatibility Matrix", kEquals60);
  c.echo();
  if (r.error) return;
  c.echo("Available PySpark Versions:");
  c.echo();
  for (const VersionRow& row : r.versions) {
    const std::string installed = row.installed ? c.style(" * INSTALLED", Color::Green) : "";
    c.echo("  PySpark " + row.version + tag_display(c, row.tag) + installed);
    c.echo("    Java Required:    " + java_list_text(row.java_supported));
    c.echo("    Java Recommended: " + recommended_text(row.java_recommended));
    c.echo();
  }
  c.echo(kHyphens60);
  c.echo();
  c.echo("Current Environment:");
  c.echo(r.pyspark ? "  PySpark: " + r.pyspark->version : "  PySpark: not installed");
  c.echo(r.java ? "  Java:    " + std::to_string(r.java->version) + " (" + r.java->vendor + ")"
                : "  Java:    not found");
  c.echo();
}

void print_match_head(Console& c, const MatchReport& r) {
  heading(c, "Checking cluster compatibility: " + escape_controls(r.compute_name), kEquals50);
  c.echo();
  if (!r.compute) return;
  c.echo("  Compute:     " + escape_controls(r.compute->name));
  c.echo("  Type:        " + escape_controls(r.compute->type));
  if (r.compute->master)
    c.echo("  Master URL:  " + escape_controls(without_secrets(*r.compute->master)));
  if (r.compute->host) c.echo("  Host:        " + escape_controls(*r.compute->host));
  // Beside the report on standard error: the report's own lines stay as they are.
  if (r.managed_runtime) {
    c.echo_err("  Runtime:     " + r.managed_runtime->title);
  } else if (r.path == DetectionPath::Runtime) {
    c.echo_err("  Runtime:     " + escape_controls(*r.compute->runtime) +
               " is not in plo's runtime table (plo runtimes lists them)");
  }
  c.echo();
  c.echo("Connecting to cluster...");
}

void print_match_rest(Console& c, const MatchReport& r) {
  const std::string name = escape_controls(r.compute_name);
  if (r.registry_error) {
    c.echo(
        c.style("Error loading compute config: " + escape_controls(*r.registry_error), Color::Red));
    c.echo();
    return;
  }
  if (!r.compute) {
    if (r.error) return;
    c.echo(c.style("Compute '" + name + "' not found in computes.yml", Color::Red));
    c.echo("  Run 'plo compute list' to see available compute engines");
    c.echo();
    return;
  }

  if (r.local_mode) c.echo(c.style("  (Local mode - using PySpark version)", Color::Blue));
  if (r.path == DetectionPath::Databricks) {
    c.echo(c.style("  Databricks cluster detected", Color::Blue));
    c.echo("  Note: Version detection requires active connection");
    if (r.databricks_client) {
      c.echo(*r.databricks_client ? "  Run 'plo compute test " + name + "' to verify connectivity"
                                  : "  Install databricks-connect for full support");
    }
  }

  if (r.comparison) {
    print_comparison(c, *r.comparison);
    return;
  }
  if (r.error) return;
  c.echo();
  c.echo(c.style("  Could not detect cluster version", Color::Yellow));
  c.echo();
  c.echo("  Possible reasons:");
  c.echo("    - Cluster is not running");
  c.echo("    - Network connectivity issues");
  c.echo("    - Firewall blocking connection");
  c.echo();
  c.echo("  Try:");
  c.echo("    - Start the cluster");
  c.echo("    - Run 'plo compute test " + name + "' to verify connectivity");
  c.echo();
}

}  // namespace plo
