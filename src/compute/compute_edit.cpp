#include "catalogue/runtimes.h"
#include "compute/compute_target.h"
#include "compute/compute_task.h"
#include "compute/shown.h"
#include "registry/computes_file.h"

namespace plo {

bool ComputeTask::add(const NewCompute& compute) {
  Console& c = s_.console;
  const auto refused = [&](const std::string& why) {
    c.echo(c.style("Not added: " + shown(why, 400), Color::Red));
    return false;
  };
  if (compute.name.empty()) return refused("the name is empty");
  if (compute.master) {
    if (auto problem = master_url_problem(*compute.master)) return refused(*problem);
  }
  if (compute.host) {
    if (auto problem = host_problem(*compute.host)) return refused(*problem);
  }
  if (compute.runtime && !find_runtime(*compute.runtime)) {
    return refused("no runtime '" + *compute.runtime +
                   "' in plo's table (plo runtimes lists them)");
  }
  const std::string path = s_.computes_path();
  std::optional<std::string> previous;
  std::string text;
  try {
    previous = read_computes_for_edit(path);
    text = add_compute_text(previous.value_or(""), compute);
  } catch (const std::exception& e) {
    return refused(e.what());
  }
  write_computes(path, text, previous);
  c.echo(
      c.style("Added compute '" + shown(compute.name) + "' to " + shown(path, 400), Color::Green));
  if (previous) c.echo("  Previous file kept as " + shown(path, 400) + ".bak");
  c.echo("  Run 'plo compute test " + shown(compute.name) + "' to verify connectivity");
  return true;
}

bool ComputeTask::remove(const std::string& name) {
  Console& c = s_.console;
  const std::string path = s_.computes_path();
  std::optional<std::string> previous;
  std::string text;
  try {
    previous = read_computes_for_edit(path);
    if (!previous) {
      c.echo(c.style("Not removed: " + shown(path, 400) + " does not exist", Color::Red));
      return false;
    }
    text = remove_compute_text(*previous, name);
  } catch (const std::exception& e) {
    c.echo(c.style("Not removed: " + shown(e.what(), 400), Color::Red));
    return false;
  }
  write_computes(path, text, previous);
  c.echo(c.style("Removed compute '" + shown(name) + "' from " + shown(path, 400), Color::Green));
  c.echo("  Previous file kept as " + shown(path, 400) + ".bak");
  return true;
}

}  // namespace plo
