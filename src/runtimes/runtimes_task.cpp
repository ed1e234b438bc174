#include "runtimes/runtimes_task.h"

#include <nlohmann/json.hpp>

#include <algorithm>

#include "catalogue/runtimes.h"
#include "runtimes/runtimes_render.h"
#include "util/escape.h"
#include "util/json_document.h"
#include "util/suggest.h"
#include "util/text.h"

namespace plo {

std::vector<std::string> closest_runtime_names(const std::string& name) {
  const std::string wanted = to_lower(name);
  std::vector<std::pair<size_t, std::string>> ranked;
  for (const ManagedRuntime& row : managed_runtimes()) {
    ranked.emplace_back(edit_distance(wanted, row.name), row.name);
  }
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> names;
  // Near names only, unless nothing is near: then the nearest anyway.
  const size_t near = std::max<size_t>(2, wanted.size() / 3);
  for (const auto& [distance, candidate] : ranked) {
    if (names.size() == 3 || (distance > near && !names.empty())) break;
    names.push_back(candidate);
  }
  return names;
}

LocalEnvironment RuntimesTask::local_environment() {
  LocalEnvironment local;
  local.pyspark = s_.compat.get_pyspark_info();
  local.python = s_.compat.python_version();
  local.java = s_.compat.get_current_java();
  local.delta = s_.compat.distribution_version("delta-spark");
  for (const Jdk& jdk : s_.java.find_jdks()) local.jdk_majors.push_back(jdk.version);
  return local;
}

const ManagedRuntime* RuntimesTask::named(const std::string& name, bool json) {
  if (const ManagedRuntime* runtime = find_runtime(name)) return runtime;
  Console& c = s_.console;
  std::string closest;
  for (const std::string& candidate : closest_runtime_names(name)) {
    closest += (closest.empty() ? "" : ", ") + candidate;
  }
  const std::string error = "Unknown runtime '" + escape_controls(name) + "'";
  if (json) {
    c.echo(json_text(json_document({{"error", error}, {"closest", closest_runtime_names(name)}})));
    return nullptr;
  }
  c.echo(c.style(error, Color::Red));
  c.echo("  Closest: " + closest);
  c.echo("  Run 'plo runtimes' to list them all");
  return nullptr;
}

bool RuntimesTask::list(const std::optional<std::string>& platform, bool json) {
  Console& c = s_.console;
  const auto& platforms = runtime_platforms();
  if (platform && std::find(platforms.begin(), platforms.end(), *platform) == platforms.end()) {
    std::string known;
    for (const std::string& p : platforms) known += (known.empty() ? "" : ", ") + p;
    c.echo(c.style("Unknown platform '" + escape_controls(*platform) + "': one of " + known,
                   Color::Red));
    return false;
  }
  const LocalEnvironment local = local_environment();
  RuntimeListReport report{platform, {}};
  for (const ManagedRuntime& row : managed_runtimes()) {
    if (!platform || row.platform == *platform) report.fits.push_back(fit_runtime(row, local));
  }
  if (json) {
    c.echo(json_text(runtime_list_json(report)));
  } else {
    print_runtime_list(c, report, s_.unicode_marks);
  }
  return true;
}

bool RuntimesTask::show(const std::string& name, bool json) {
  const ManagedRuntime* runtime = named(name, json);
  if (!runtime) return false;
  const RuntimeFit fit = fit_runtime(*runtime, local_environment());
  if (json) {
    s_.console.echo(json_text(runtime_fit_json(fit)));
  } else {
    print_runtime_fit(s_.console, fit, s_.unicode_marks);
  }
  return fit.ok();
}

}  // namespace plo
