#include "java/java_task.h"
#include "java/listing.h"
#include "util/escape.h"
#include "util/text.h"

namespace plo {

bool JavaTask::unset() {
  Console& c = s_.console;
  heading("Java for PySpark");
  const auto file = s_.java.spark_env_file();
  if (s_.java.unpin()) {
    c.echo(
        c.style("  Removed plo's Java pin from " + escape_controls(file.value_or("spark-env.sh")),
                Color::Green));
  } else {
    c.echo("  No Java pin to remove");
  }
  c.echo();
  tell_current_java();
  return true;
}

void JavaTask::tell_current_java() {
  Console& c = s_.console;
  const auto java = s_.compat.get_current_java();
  if (java) {
    c.echo("  PySpark will use Java " + std::to_string(java->version) + " (" +
           escape_controls(java->vendor) + ") at " + escape_controls(java->path));
  } else {
    c.echo(c.style("  PySpark will find no Java", Color::Yellow));
    c.echo("  Run 'plo java set' to select a Java version");
  }
  c.echo();
}

}  // namespace plo
