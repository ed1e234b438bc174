#include "spark/text_report.h"

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

}  // namespace

void print_comparison(Console& c, const ClusterComparison& r) {
  heading(c, "Cluster Information", kHyphens40);
  c.echo("  Spark Version: " + r.cluster_version);
  if (!r.local_searched) return;

  heading(c, "Version Comparison", kHyphens40);
  const std::string recommendation =
      "  Run 'plo spark set-version' and select PySpark " + r.cluster_major_minor + ".x";
  if (!r.local) {
    c.echo(c.style("  PySpark not installed locally", Color::Red));
    c.echo();
    c.echo(recommendation);
    c.echo();
    return;
  }
  c.echo("  Driver (local): PySpark " + r.local->version);
  c.echo("  Cluster:        Spark " + r.cluster_version);
  if (r.match()) {
    c.echo();
    c.echo(c.style("  Versions match!", Color::Green));
    c.echo();
    return;
  }

  c.echo();
  c.echo(c.style("  VERSION MISMATCH!", Color::Red, true));
  c.echo();
  c.echo("  Driver (local): PySpark " + r.local->major_minor);
  c.echo("  Cluster:        Spark " + r.cluster_major_minor);
  c.echo();
  c.echo(c.style("Recommendation:", Color::Yellow));
  c.echo(recommendation);
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

void print_check(Console& c, const CheckReport& r) {
  heading(c, "PySpark Status", kHyphens40);
  if (!r.pyspark) {
    if (r.error) return;
    c.echo(c.style("  PySpark not installed!", Color::Red));
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

  heading(c, "Java Compatibility", kHyphens40);
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

void print_project_drift(Console& c, const CheckReport& r) {
  if (r.project_error) {
    c.echo(c.style("  " + escape_controls(without_tokens(*r.project_error)), Color::Red));
    c.echo();
  } else if (r.project) {
    if (const auto line = drift_line(*r.project)) {
      c.echo(c.style(*line, Color::Yellow));
      c.echo();
    }
  }
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
    c.echo("  Master URL:  " + escape_controls(without_tokens(*r.compute->master)));
  if (r.compute->host) c.echo("  Host:        " + escape_controls(*r.compute->host));
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
