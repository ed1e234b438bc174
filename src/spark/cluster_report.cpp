#include <algorithm>

#include "spark/display.h"
#include "spark/spark_task.h"

namespace plo {

bool SparkTask::report_cluster_version(const std::string& cluster_version) {
  Console& c = s_.console;
  heading("Cluster Information", kHyphens40);
  c.echo("  Spark Version: " + cluster_version);
  const std::string cluster_major_minor = major_minor_of(cluster_version);
  const auto pyspark = s_.compat.get_pyspark_info();

  heading("Version Comparison", kHyphens40);
  const std::string recommendation =
      "  Run 'plo spark set-version' and select PySpark " + cluster_major_minor + ".x";
  if (!pyspark) {
    c.echo(c.style("  PySpark not installed locally", Color::Red));
    c.echo();
    c.echo(recommendation);
    c.echo();
    return false;
  }
  c.echo("  Driver (local): PySpark " + pyspark->version);
  c.echo("  Cluster:        Spark " + cluster_version);
  if (pyspark->major_minor == cluster_major_minor) {
    c.echo();
    c.echo(c.style("  Versions match!", Color::Green));
    c.echo();
    return true;
  }

  c.echo();
  c.echo(c.style("  VERSION MISMATCH!", Color::Red, true));
  c.echo();
  c.echo("  Driver (local): PySpark " + pyspark->major_minor);
  c.echo("  Cluster:        Spark " + cluster_major_minor);
  c.echo();
  c.echo(c.style("Recommendation:", Color::Yellow));
  c.echo(recommendation);
  c.echo();

  const CompatTable& table = s_.compat.pyspark_java_compatibility();
  if (const auto record = table.find(cluster_major_minor); record != table.end()) {
    const auto java = s_.compat.get_current_java();
    const std::vector<int>& supported = record->second.supported;
    c.echo(c.style("Java Note:", Color::Yellow));
    c.echo("  PySpark " + cluster_major_minor + " requires Java " + java_list_text(supported));
    if (java) {
      const std::string current = "  Current Java " + std::to_string(java->version);
      if (std::find(supported.begin(), supported.end(), java->version) != supported.end()) {
        c.echo(current + " is compatible");
      } else {
        c.echo(current + " is NOT compatible");
        c.echo("  Run 'plo java set' to select a compatible version");
      }
    }
    c.echo();
  }
  return false;
}

}  // namespace plo
