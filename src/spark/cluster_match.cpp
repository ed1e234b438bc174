#include "compat/master_url.h"
#include "spark/display.h"
#include "spark/spark_task.h"
#include "util/escape.h"
#include "util/text.h"

namespace plo {
namespace {

std::optional<std::string> setting(const ComputeRecord& record, std::string_view key) {
  if (!record.config) return std::nullopt;
  const auto found = record.config->find(key);
  if (found == record.config->end() || found->second.empty()) return std::nullopt;
  return found->second;
}

}  // namespace

bool SparkTask::match_cluster(const std::string& compute_name) {
  Console& c = s_.console;
  const std::string name = escape_controls(compute_name);
  heading("Checking cluster compatibility: " + name, kEquals50);
  c.echo();

  std::optional<ComputeRecord> compute;
  try {
    const auto registry = s_.compute_registry();
    compute = registry->get(compute_name);
  } catch (const std::exception& e) {
    c.echo(c.style("Error loading compute config: " + escape_controls(e.what()), Color::Red));
    c.echo();
    return false;
  }
  if (!compute) {
    c.echo(c.style("Compute '" + name + "' not found in computes.yml", Color::Red));
    c.echo("  Run 'plo compute list' to see available compute engines");
    c.echo();
    return false;
  }

  const auto master_url = setting(*compute, "master");
  const auto host = setting(*compute, "host");
  const std::string compute_type =
      compute->type && !compute->type->empty() ? *compute->type : "spark";

  c.echo("  Compute:     " + name);
  c.echo("  Type:        " + escape_controls(compute_type));
  if (master_url) c.echo("  Master URL:  " + escape_controls(*master_url));
  if (host) c.echo("  Host:        " + escape_controls(*host));
  c.echo();
  c.echo("Connecting to cluster...");

  std::optional<std::string> cluster_version;
  if (master_url && master_url->starts_with("spark://")) {
    cluster_version = s_.compat.detect_spark_cluster_version(*master_url);
  } else if (master_url && is_local_master(*master_url)) {
    if (const auto pyspark = s_.compat.get_pyspark_info()) {
      cluster_version = pyspark->version;
      c.echo(c.style("  (Local mode - using PySpark version)", Color::Blue));
    }
  } else if (host && to_lower(*host).find("databricks") != std::string::npos) {
    c.echo(c.style("  Databricks cluster detected", Color::Blue));
    c.echo("  Note: Version detection requires active connection");
    if (s_.databricks()->available()) {
      c.echo("  Run 'plo compute test " + name + "' to verify connectivity");
    } else {
      c.echo("  Install databricks-connect for full support");
    }
  } else if (master_url && master_url->starts_with("sc://") && s_.spark_connect_version) {
    cluster_version = s_.spark_connect_version(*master_url);
  }

  if (cluster_version && !cluster_version->empty()) return report_cluster_version(*cluster_version);

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
  return false;
}

}  // namespace plo
