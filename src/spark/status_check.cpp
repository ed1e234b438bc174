#include "spark/display.h"
#include "spark/spark_task.h"
#include "util/escape.h"

namespace plo {

bool SparkTask::check() {
  Console& c = s_.console;
  heading("PySpark Status", kHyphens40);
  const auto pyspark = s_.compat.get_pyspark_info();
  if (!pyspark) {
    c.echo(c.style("  PySpark not installed!", Color::Red));
    c.echo();
    c.echo("  Install with: pip install pyspark");
    c.echo("  Or run 'plo spark set-version' to select a version");
    c.echo();
    return false;
  }
  const std::string supported = java_list_text(pyspark->java_supported);
  c.echo("  Version:       " + pyspark->version);
  c.echo("  Major.Minor:   " + pyspark->major_minor);
  c.echo("  Required Java: " + supported);
  c.echo("  Recommended:   Java " +
         (pyspark->java_recommended ? std::to_string(*pyspark->java_recommended) : "?"));

  heading("Java Compatibility", kHyphens40);
  const auto java = s_.compat.get_current_java();
  if (!java) {
    c.echo(c.style("  Java not found!", Color::Red));
    c.echo();
    c.echo("  PySpark " + pyspark->version + " requires Java " + supported);
    c.echo();
    c.echo("  Run 'plo java search' to find Java installations");
    c.echo("  Run 'plo java install' for installation guide");
    c.echo();
    return false;
  }
  c.echo("  JAVA_HOME: " + escape_controls(java->path));
  c.echo("  Version:   Java " + std::to_string(java->version));
  c.echo("  Vendor:    " + java->vendor);
  const auto [is_compat, msg] =
      s_.compat.check_java_pyspark_compatibility(java->version, pyspark->major_minor);
  c.echo();
  if (is_compat) {
    c.echo(c.style("  " + msg, Color::Green));
  } else {
    c.echo(c.style("  " + msg, Color::Red));
    c.echo();
    c.echo("  Run 'plo java set' to select a compatible Java version");
  }
  c.echo();
  return is_compat;
}

}  // namespace plo
