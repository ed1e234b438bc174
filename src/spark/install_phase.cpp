#include "cancel/interrupt.h"
#include "spark/spark_task.h"
#include "util/escape.h"
#include "util/text.h"

namespace plo {

bool SparkTask::install_phase(const std::string& version_to_install, const std::string& major_minor,
                              const std::vector<int>& supported,
                              const std::optional<PySparkInfo>& current_pyspark) {
  Console& c = s_.console;
  c.echo();
  c.echo(c.style("Installing PySpark...", Color::Cyan, true));
  c.echo();

  std::optional<std::string> previous_version;
  try {
    if (current_pyspark) {
      bool success = false;
      std::tie(success, previous_version) = _uninstall_pyspark();
      if (!success) {
        c.echo(c.style("Failed to uninstall current PySpark", Color::Red));
        return false;
      }
    }

    if (!_install_pyspark(version_to_install)) {
      c.echo();
      c.echo(c.style("Failed to install PySpark " + version_to_install, Color::Red));
      if (previous_version) {
        c.echo();
        c.echo(c.style("Rolling back to PySpark " + *previous_version + "...", Color::Yellow));
        if (_install_pyspark(*previous_version)) {
          c.echo(c.style("Restored PySpark " + *previous_version, Color::Green));
        } else {
          c.echo(c.style("Rollback failed! Run 'plo spark set-version' again", Color::Red));
        }
      }
      return false;
    }

    c.echo();
    const auto [test_ok, error_msg] = _test_pyspark_java();
    const bool java_error = !test_ok && contains_ignoring_case(error_msg, "java");

    if (!java_error) {
      c.echo();
      c.echo(c.style("PySpark " + version_to_install + " installed successfully", Color::Green));
      c.echo(test_ok ? c.style("  Java compatibility verified", Color::Green)
                     : c.style("  Note: " + error_msg, Color::Yellow));
      c.echo();
      return true;
    }

    c.echo();
    c.echo(c.style("Java compatibility error: " + escape_controls(error_msg), Color::Red));
    c.echo();
    c.echo("   This PySpark version doesn't work with your current Java.");
    c.echo("   PySpark " + major_minor + " requires Java " + java_list_text(supported));
    c.echo();
    if (previous_version && c.confirm("Rollback to PySpark " + *previous_version + "?", true)) {
      c.echo();
      c.echo(c.style("Rolling back...", Color::Yellow));
      _uninstall_pyspark();
      if (_install_pyspark(*previous_version)) {
        c.echo(c.style("Restored PySpark " + *previous_version, Color::Green));
        c.echo();
        c.echo("   To use the new version, first run:");
        c.echo("     plo java set");
        c.echo();
      } else {
        c.echo(c.style("Rollback failed!", Color::Red));
      }
      return false;
    }
    c.echo();
    c.echo("   To fix this, run:");
    c.echo("     plo java set");
    c.echo();
    return false;
  } catch (const Interrupted&) {
    report_state_after_interrupt(current_pyspark ? std::optional(current_pyspark->version)
                                                 : std::nullopt);
    throw;
  }
}

void SparkTask::report_state_after_interrupt(const std::optional<std::string>& had_version) {
  Console& c = s_.console;
  // The user stopped plo midway: say where the environment stands before the front end ends it.
  clear_pending_interrupt();
  std::optional<PySparkInfo> now;
  try {
    now = s_.compat.get_pyspark_info();
  } catch (const std::exception&) {
    c.echo(c.style("  Could not tell which PySpark is installed now", Color::Yellow));
    return;
  }
  c.echo();
  c.echo(c.style(now ? "  PySpark " + now->version + " is installed now"
                     : std::string("  No PySpark is installed now"),
                 Color::Yellow));
  if (had_version && (!now || now->version != *had_version)) {
    c.echo(c.style("  To restore PySpark " + *had_version + ", run: " + s_.interpreter() +
                       " -m pip install pyspark==" + *had_version,
                   Color::Yellow));
  }
}

}  // namespace plo
