#include <nlohmann/json.hpp>

#include "java/java_task.h"
#include "java/listing.h"

namespace plo {

bool JavaTask::search(bool json) {
  Console& c = s_.console;
  const std::vector<Jdk> jdks = s_.java.find_jdks();
  const auto pyspark = s_.compat.get_pyspark_info();
  if (json) {
    c.echo(jdks_json(jdks, pyspark));
    return true;
  }
  heading("Java Installations");
  if (jdks.empty()) {
    c.echo(c.style("  No Java installation found", Color::Yellow));
    c.echo();
    c.echo("  Run 'plo java install' for installation guide");
    c.echo();
    return true;
  }
  for (const std::string& line : jdk_lines(c, jdks, pyspark, false)) c.echo(line);
  c.echo();
  if (pyspark && !pyspark->java_supported.empty()) {
    c.echo("  PySpark " + pyspark->version + " runs on Java " +
           java_list_text(pyspark->java_supported));
    c.echo("  [OK] = compatible, [!] = requires different Java");
    c.echo();
  }
  c.echo("  Run 'plo java set' to choose one");
  c.echo();
  return true;
}

}  // namespace plo
