#include <nlohmann/json.hpp>

#include "compute/compute_task.h"
#include "compute/load_computes.h"
#include "compute/shown.h"
#include "util/json_document.h"

namespace plo {
namespace {

std::optional<std::string> masked_master(const ComputeRecord& record) {
  const auto master = record.setting("master");
  if (!master) return master;
  return without_token(*master);
}

nlohmann::ordered_json or_null(const std::optional<std::string>& value) {
  return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json();
}

}  // namespace

bool ComputeTask::list(bool json) {
  Console& c = s_.console;
  const std::string path = s_.computes_path();
  std::unique_ptr<YamlComputeRegistry> registry;
  try {
    registry = load_computes(path);
  } catch (const std::exception& e) {
    if (json) throw;
    c.echo(
        c.style(std::string("Error loading compute config: ") + shown(e.what(), 400), Color::Red));
    return false;
  }
  const std::vector<std::string> names = registry ? registry->names() : std::vector<std::string>{};

  if (json) {
    nlohmann::ordered_json computes = nlohmann::ordered_json::array();
    for (const std::string& name : names) {
      const ComputeRecord record = *registry->get(name);
      computes.push_back({{"name", name},
                          {"type", record.type && !record.type->empty() ? *record.type : "spark"},
                          {"master", or_null(masked_master(record))},
                          {"host", or_null(record.setting("host"))},
                          {"cluster_id", or_null(record.setting("cluster_id"))},
                          {"runtime", or_null(record.setting("runtime"))}});
    }
    c.echo(json_text(json_document({{"file", path}, {"computes", computes}})));
    return true;
  }

  c.echo();
  c.echo(c.style("Compute engines", Color::Cyan, true));
  c.echo(std::string(40, '-'));
  c.echo("  File: " + shown(path, 400));
  c.echo();
  if (names.empty()) {
    c.echo(registry ? "  No compute engines defined." : "  No computes.yml yet.");
    c.echo();
    c.echo(
        "  plo reads the file above ($PLO_HOME/computes.yml when PLO_HOME is set). For example:");
    c.echo();
    c.echo("    computes:");
    c.echo("      prod-spark:");
    c.echo("        type: spark");
    c.echo("        config:");
    c.echo("          master: spark://spark-master.internal:7077");
    c.echo();
    c.echo("  Or run: plo compute add prod-spark --master spark://spark-master.internal:7077");
    c.echo();
    return true;
  }
  for (const std::string& name : names) {
    const ComputeRecord record = *registry->get(name);
    const std::string type = record.type && !record.type->empty() ? *record.type : "spark";
    c.echo("  " + c.style(shown(name), Color::Cyan) + " (" + shown(type) + ")");
    if (auto master = masked_master(record)) c.echo("    master:     " + shown(*master, 400));
    if (auto host = record.setting("host")) c.echo("    host:       " + shown(*host, 400));
    if (auto id = record.setting("cluster_id")) c.echo("    cluster_id: " + shown(*id));
    if (auto runtime = record.setting("runtime")) c.echo("    runtime:    " + shown(*runtime));
  }
  c.echo();
  c.echo("  Run 'plo compute test NAME' to verify connectivity");
  c.echo();
  return true;
}

}  // namespace plo
