#include "catalogue/databricks_runtimes.h"
#include "catalogue/runtimes.h"
#include "probes/master_url.h"
#include "spark/spark_task.h"
#include "spark/text_report.h"
#include "util/text.h"

namespace plo {

MatchReport SparkTask::match_report(
    const std::string& compute_name,
    const std::function<void(const MatchReport&)>& before_detection) {
  MatchReport report;
  report.compute_name = compute_name;

  std::optional<ComputeRecord> compute;
  try {
    const auto registry = s_.compute_registry();
    compute = registry->get(compute_name);
  } catch (const std::exception& e) {
    report.registry_error = e.what();
    return report;
  }
  if (!compute) return report;

  try {
    report.compute = ComputeSummary{
        .name = compute_name,
        .type = compute->type && !compute->type->empty() ? *compute->type : "spark",
        .master = compute->setting("master"),
        .host = compute->setting("host"),
        .runtime = compute->setting("runtime"),
    };
    const auto& master_url = report.compute->master;
    const auto& host = report.compute->host;
    // A managed runtime's compute: its Spark is the table's, and nothing is asked.
    if (!master_url && !host && report.compute->runtime) {
      report.path = DetectionPath::Runtime;
      if (const ManagedRuntime* row = find_runtime(*report.compute->runtime)) {
        report.managed_runtime = *row;
      }
    }
    if (before_detection) before_detection(report);

    std::optional<std::string> cluster_version;
    if (report.path == DetectionPath::Runtime) {
      if (report.managed_runtime && !report.managed_runtime->spark.empty()) {
        cluster_version = report.managed_runtime->spark;
        // A Databricks runtime is reached through databricks-connect of its line.
        if (report.managed_runtime->platform == "databricks") {
          report.databricks_runtime = databricks_runtime_line(
              report.managed_runtime->name.substr(report.managed_runtime->name.find('-') + 1));
        }
      }
    } else if (master_url && master_url->starts_with("spark://")) {
      report.path = DetectionPath::Standalone;
      cluster_version = s_.compat.detect_spark_cluster_version(*master_url);
    } else if (master_url && is_local_master(*master_url)) {
      report.path = DetectionPath::Local;
      if (const auto pyspark = s_.compat.get_pyspark_info()) {
        cluster_version = pyspark->version;
        report.local_mode = true;
      }
    } else if (host && to_lower(*host).find("databricks") != std::string::npos) {
      report.path = DetectionPath::Databricks;
      report.databricks_client = s_.databricks()->available();
      // With credentials the cluster tells its runtime, and so its Spark.
      if (s_.databricks_runtime) {
        if (const auto runtime = s_.databricks_runtime(*compute)) {
          report.databricks_runtime = databricks_runtime_line(*runtime);
          if (report.databricks_runtime) cluster_version = databricks_runtime_spark(*runtime);
        }
      }
    } else if (master_url && master_url->starts_with("sc://") && s_.spark_connect_version) {
      report.path = DetectionPath::SparkConnect;
      cluster_version = s_.spark_connect_version(*master_url);
    }
    if (cluster_version && !cluster_version->empty()) {
      report.comparison.emplace();
      report.comparison->databricks_runtime = report.databricks_runtime;
      compare_cluster_version(*cluster_version, *report.comparison);
    }
  } catch (const std::exception&) {
    report.error = std::current_exception();
  }
  return report;
}

MatchReport SparkTask::printed_match_report(const std::string& compute_name) {
  bool head_printed = false;
  MatchReport report = match_report(compute_name, [&](const MatchReport& so_far) {
    print_match_head(s_.console, so_far);
    head_printed = true;
  });
  if (!head_printed) print_match_head(s_.console, report);
  print_match_rest(s_.console, report);
  return report;
}

bool SparkTask::match_cluster(const std::string& compute_name) {
  const MatchReport report = printed_match_report(compute_name);
  if (report.error) std::rethrow_exception(report.error);
  return report.ok();
}

}  // namespace plo
