#include "java/java_task.h"

namespace plo {

void JavaTask::heading(const std::string& title) {
  Console& c = s_.console;
  c.echo();
  c.echo(c.style(title, Color::Cyan, true));
  c.echo(std::string(40, '-'));
}

}  // namespace plo
