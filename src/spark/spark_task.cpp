#include "spark/spark_task.h"

namespace plo {

void SparkTask::heading(const std::string& title, const std::string& rule) {
  s_.console.echo();
  s_.console.echo(s_.console.style(title, Color::Cyan, true));
  s_.console.echo(rule);
}

}  // namespace plo
