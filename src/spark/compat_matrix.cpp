#include "spark/display.h"
#include "spark/spark_task.h"

namespace plo {

void SparkTask::show_versions() {
  Console& c = s_.console;
  heading("PySpark/Java Compatibility Matrix", kEquals60);
  c.echo();
  const auto pyspark = s_.compat.get_pyspark_info();
  const auto java = s_.compat.get_current_java();
  c.echo("Available PySpark Versions:");
  c.echo();

  const CompatTable& table = s_.compat.pyspark_java_compatibility();
  for (const VersionEntry& entry : s_.compat.pyspark_versions()) {
    const auto record = table.find(entry.major_minor);
    const CompatRecord compat = record == table.end() ? CompatRecord{} : record->second;
    std::string recommended = compat.supported.empty() ? "?" : std::to_string(compat.supported[0]);
    if (compat.recommended) recommended = std::to_string(*compat.recommended);

    std::string current_marker;
    if (pyspark && pyspark->version == entry.version) {
      current_marker = c.style(" * INSTALLED", Color::Green);
    }

    c.echo("  PySpark " + entry.version + tag_display(c, entry.tag) + current_marker);
    c.echo("    Java Required:    " + java_list_text(compat.supported));
    c.echo("    Java Recommended: " + recommended);
    c.echo();
  }

  c.echo(kHyphens60);
  c.echo();
  c.echo("Current Environment:");
  c.echo(pyspark ? "  PySpark: " + pyspark->version : "  PySpark: not installed");
  c.echo(java ? "  Java:    " + std::to_string(java->version) + " (" + java->vendor + ")"
              : "  Java:    not found");
  c.echo();
}

}  // namespace plo
