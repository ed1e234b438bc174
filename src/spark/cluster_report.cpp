#include <algorithm>

#include "spark/spark_task.h"
#include "spark/text_report.h"

namespace plo {

std::optional<bool> ClusterComparison::java_fits() const {
  if (!java_supported || !java) return std::nullopt;
  return std::find(java_supported->begin(), java_supported->end(), java->version) !=
         java_supported->end();
}

void SparkTask::compare_cluster_version(const std::string& cluster_version,
                                        ClusterComparison& comparison) {
  comparison.cluster_version = cluster_version;
  comparison.cluster_major_minor = major_minor_of(cluster_version);
  comparison.local = s_.compat.get_pyspark_info();
  comparison.local_searched = true;
  if (comparison.local && comparison.databricks_runtime) {
    const auto found =
        classify_pyspark_flavour(s_.compat.pyspark_distributions(), comparison.local->location);
    if (found.flavour == PySparkFlavour::DatabricksConnect) {
      comparison.databricks_connect = found.databricks_connect->version;
      return;  // a Spark Connect client: no local Java to note
    }
  }
  // Databricks is reached through databricks-connect, whatever the local PySpark's Java.
  if (!comparison.local || comparison.match() || comparison.databricks_runtime) return;

  const CompatTable& table = s_.compat.pyspark_java_compatibility();
  if (const auto record = table.find(comparison.cluster_major_minor); record != table.end()) {
    comparison.java_supported = record->second.supported;
    comparison.java = s_.compat.get_current_java();
    comparison.java_searched = true;
  }
}

bool SparkTask::report_cluster_version(const std::string& cluster_version) {
  ClusterComparison comparison;
  compare_cluster_version(cluster_version, comparison);
  print_comparison(s_.console, comparison);
  return comparison.match();
}

}  // namespace plo
