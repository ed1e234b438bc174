#include "environment/spark_env.h"
#include "java/java_task.h"
#include "util/text.h"

namespace plo {
namespace {

// fish's single quotes: only \' and \\ are escapes inside.
std::string fish_quote(std::string_view value) {
  std::string quoted = "'";
  for (const char c : value) {
    if (c == '\'' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '\'';
  return quoted;
}

}  // namespace

bool JavaTask::env(Shell shell) {
  Console& c = s_.console;
  std::optional<std::string> home = s_.java.pinned_home();
  if (!home) {
    if (const auto java = s_.compat.get_current_java()) home = java->path;
  }
  if (!home) {
    // Printed for eval: a comment is harmless there.
    c.echo("# plo: no Java found; run 'plo java install' for installation guide");
    return false;
  }
  if (shell == Shell::Fish) {
    c.echo("set -gx JAVA_HOME " + fish_quote(*home) + ";");
    c.echo("set -gx PATH " + fish_quote(*home + "/bin") + " $PATH;");
  } else {
    c.echo("export JAVA_HOME=" + shell_quote(*home));
    c.echo("export PATH=" + shell_quote(*home + "/bin") + ":\"$PATH\"");
  }
  return true;
}

}  // namespace plo
