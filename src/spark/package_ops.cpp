#include "spark/spark_task.h"
#include "util/escape.h"

namespace plo {

std::pair<bool, std::optional<std::string>> SparkTask::_uninstall_pyspark() {
  Console& c = s_.console;
  const auto info = s_.compat.get_pyspark_info();
  if (!info) return {true, std::nullopt};
  const std::string previous = info->version;
  c.echo("  Uninstalling PySpark " + previous + "...");
  try {
    const ProcessResult result =
        s_.runner.run({.argv = {s_.interpreter(), "-m", "pip", "uninstall", "pyspark", "-y"}});
    if (result.exit_code == 0) {
      c.echo(c.style("  Removed PySpark " + previous, Color::Yellow));
    } else {
      c.echo(c.style("  Warning: Could not uninstall PySpark", Color::Yellow));
    }
  } catch (const std::exception& e) {
    c.echo(c.style("  Error uninstalling: " + escape_controls(e.what()), Color::Red));
  }
  return {true, previous};
}

bool SparkTask::_install_pyspark(const std::string& version) {
  s_.console.echo("  Installing PySpark " + version + "...");
  try {
    // pip writes its progress straight to the user's terminal.
    const ProcessResult result =
        s_.runner.run({.argv = {s_.interpreter(), "-m", "pip", "install", "pyspark==" + version},
                       .capture = false});
    return result.exit_code == 0;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace plo
