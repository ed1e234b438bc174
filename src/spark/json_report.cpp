#include "spark/json_report.h"

#include <nlohmann/json.hpp>

#include "catalogue/databricks_runtimes.h"
#include "util/secrets.h"

namespace plo {
namespace {

using json = nlohmann::ordered_json;

json optional_int(const std::optional<int>& value) {
  return value ? json(*value) : json(nullptr);
}

json optional_text(const std::optional<std::string>& value) {
  return value ? json(*value) : json(nullptr);
}

json optional_flag(const std::optional<bool>& value) {
  return value ? json(*value) : json(nullptr);
}

json python_range_json(const std::optional<PythonRange>& range) {
  return range ? json{{"min", range->min}, {"max", range->max}} : json(nullptr);
}

json distribution_json(const PySparkDistribution& d) {
  return {{"name", d.name}, {"version", d.version.empty() ? json(nullptr) : json(d.version)}};
}

// How PySpark is installed: additions to check's document.
void add_flavour_fields(json& document, const CheckReport& r) {
  if (r.pyspark && r.flavour) {
    const PySparkFlavourFindings& f = *r.flavour;
    document["pyspark"]["distribution"] = f.provider ? json(f.provider->name) : json(nullptr);
    document["pyspark"]["flavour"] = flavour_name(f.flavour);
  }
  document["java_needed"] = r.pyspark ? json(r.java_needed()) : json(nullptr);
  json databricks = nullptr;
  if (r.flavour && r.flavour->databricks_connect) {
    const PySparkDistribution& d = *r.flavour->databricks_connect;
    const auto spark = databricks_runtime_spark(d.version);
    databricks = {{"version", d.version},
                  {"runtime", optional_text(databricks_runtime_line(d.version))},
                  {"spark_version", optional_text(spark)}};
  }
  document["databricks_connect"] = databricks;
  json conflicts = json::array();
  if (r.flavour) {
    for (const PySparkDistribution& d : r.flavour->conflicting) {
      conflicts.push_back(distribution_json(d));
    }
  }
  document["conflicts"] = conflicts;
  json spark_home = nullptr;
  if (r.spark_home) {
    spark_home = {{"path", r.spark_home->path},
                  {"version", optional_text(r.spark_home->spark.version)},
                  {"has_spark_submit", r.spark_home->spark.has_spark_submit},
                  {"mismatch", r.spark_home_mismatch()}};
  }
  document["spark_home"] = spark_home;
}

}  // namespace

json check_json(const CheckReport& r) {
  json pyspark = nullptr;
  if (r.pyspark) {
    pyspark = {{"version", r.pyspark->version},
               {"major_minor", r.pyspark->major_minor},
               {"java_supported", r.pyspark->java_supported},
               {"java_recommended", optional_int(r.pyspark->java_recommended)},
               {"location", r.pyspark->location}};
  }
  json java = nullptr;
  if (r.java) {
    java = {{"home", r.java->path},
            {"version", r.java->version},
            {"vendor", r.java->vendor},
            {"found_in", r.java->found_in.empty() ? json(nullptr) : json(r.java->found_in)}};
  }
  json project = nullptr;
  if (r.project) {
    project = {{"file", r.project->spec.file},
               {"pyspark", r.project->target.pyspark},
               {"java", r.project->target.java},
               {"compute", optional_text(r.project->spec.compute)},
               {"runtime", optional_text(r.project->spec.runtime)},
               {"python_fits", optional_flag(r.project->python_fits)},
               {"contradictions", r.project->target.contradictions},
               {"matches", r.project->fits()}};
  }
  if (!r.pins.pins.empty()) {
    // A project without [tool.plo] gets the object too, for its pins; the other keys are null.
    if (project.is_null()) {
      project = {{"file", nullptr},
                 {"pyspark", nullptr},
                 {"java", nullptr},
                 {"compute", nullptr},
                 {"runtime", nullptr},
                 {"python_fits", nullptr},
                 {"contradictions", json::array()},
                 {"matches", nullptr}};
    }
    const auto or_null = [](const std::string& value) {
      return value.empty() ? json(nullptr) : json(value);
    };
    json pins = json::array();
    for (const ProjectPin& pin : r.pins.pins) {
      pins.push_back({{"file", pin.file},
                      {"line", pin.line},
                      {"where", or_null(pin.where)},
                      {"requirement", pin.text},
                      {"specifiers", pin.specifiers},
                      {"marker", or_null(pin.marker)},
                      {"locked", pin.locked},
                      {"tool", or_null(pin.tool)}});
    }
    json conflicts = json::array();
    for (const PinConflict& conflict : r.pins.conflicts) {
      conflicts.push_back({{"file", conflict.file},
                           {"line", conflict.line},
                           {"problem", conflict.problem},
                           {"fix", conflict.fix}});
    }
    project["pins"] = pins;
    project["pin_conflicts"] = conflicts;
  }
  json document = json_document({{"python", r.python},
                                 {"pyspark", pyspark},
                                 {"java", java},
                                 {"compatible", r.compatible ? json(*r.compatible) : json(nullptr)},
                                 {"message", r.compatible ? json(r.message) : json(nullptr)},
                                 {"python_version", optional_text(r.python_version)},
                                 {"python_supported", python_range_json(r.python_supported)},
                                 {"python_fits", optional_flag(r.python_fits)}});
  add_flavour_fields(document, r);
  document["project"] = project;
  json companions = json::array();
  for (const CompanionVerdict& c : r.companions) {
    const auto text = [](const std::string& value) {
      return value.empty() ? json(nullptr) : json(value);
    };
    companions.push_back({{"name", c.name},
                          {"version", c.version},
                          {"requirement", text(c.requirement)},
                          {"fits", c.fits()},
                          {"reason", text(c.reason)},
                          {"fix", text(companion_fix_command(r.python, c.fix))}});
  }
  document["companions"] = companions;
  return document;
}

namespace {

// The package index as the matrix asked it: where, whether it answered (now or from the cache)
// or why plo's table stood in, and the patches it lists beyond the table.
json index_json(const VersionsReport& r) {
  if (!r.index) return nullptr;
  const IndexListing& index = *r.index;
  json newer = json::array();
  for (const ListedPatch& patch : r.index_newer) {
    newer.push_back({{"version", patch.version},
                     {"major_minor", patch.major_minor},
                     {"catalogue", optional_text(patch.catalogue)}});
  }
  const char* source = index.source == IndexListing::Source::Index   ? "index"
                       : index.source == IndexListing::Source::Cache ? "cache"
                                                                     : "catalogue";
  return {{"url", index.url.empty() ? json(nullptr) : json(index.url)},
          {"source", source},
          {"reason", index.why_not.empty() ? json(nullptr) : json(index.why_not)},
          {"newer", newer}};
}

}  // namespace

json versions_json(const VersionsReport& r) {
  json versions = json::array();
  for (const VersionRow& row : r.versions) {
    versions.push_back({{"version", row.version},
                        {"major_minor", row.major_minor},
                        {"tag", row.tag},
                        {"java_supported", row.java_supported},
                        {"java_recommended", optional_int(row.java_recommended)},
                        {"installed", row.installed},
                        {"python_supported", python_range_json(row.python_supported)},
                        {"python_fits", optional_flag(row.python_fits)}});
  }
  return json_document(
      {{"versions", versions},
       {"pyspark", r.pyspark ? json{{"version", r.pyspark->version}} : json(nullptr)},
       {"java",
        r.java ? json{{"version", r.java->version}, {"vendor", r.java->vendor}} : json(nullptr)},
       {"python_version", optional_text(r.python_version)},
       {"index", index_json(r)}});
}

json match_json(const MatchReport& r) {
  json document = json_document({{"compute", nullptr},
                                 {"cluster_version", nullptr},
                                 {"cluster_major_minor", nullptr},
                                 {"local", nullptr},
                                 {"match", r.ok()},
                                 {"recommendation", nullptr},
                                 {"java_supported", nullptr},
                                 {"java_fits", nullptr},
                                 {"error", nullptr}});
  if (r.registry_error) {
    document["error"] = "Error loading compute config: " + *r.registry_error;
    return document;
  }
  if (!r.compute) {
    document["error"] = "Compute '" + r.compute_name + "' not found in computes.yml";
    return document;
  }
  document["compute"] = {{"name", r.compute->name},
                         {"type", r.compute->type},
                         {"master", optional_text(r.compute->master)},
                         {"host", optional_text(r.compute->host)}};
  if (r.path == DetectionPath::Runtime) {
    json runtime = {{"name", *r.compute->runtime}, {"known", r.managed_runtime.has_value()}};
    if (r.managed_runtime) {
      runtime["name"] = r.managed_runtime->name;
      runtime["title"] = r.managed_runtime->title;
      runtime["platform"] = r.managed_runtime->platform;
      runtime["spark"] =
          optional_text(r.managed_runtime->spark.empty() ? std::nullopt
                                                         : std::optional(r.managed_runtime->spark));
      runtime["source"] = r.managed_runtime->sources.front();
    }
    document["runtime"] = runtime;
  }
  if (!r.comparison) return document;
  const ClusterComparison& c = *r.comparison;
  document["cluster_version"] = c.cluster_version;
  document["cluster_major_minor"] = c.cluster_major_minor;
  if (c.local) {
    document["local"] = {{"version", c.local->version}, {"major_minor", c.local->major_minor}};
  }
  if (!c.match()) document["recommendation"] = c.cluster_major_minor + ".x";
  if (c.java_supported) document["java_supported"] = *c.java_supported;
  if (const auto fits = c.java_fits()) document["java_fits"] = *fits;
  if (c.databricks_runtime) {
    const std::string requirement = "databricks-connect==" + *c.databricks_runtime + ".*";
    if (!c.match()) document["recommendation"] = requirement;
    document["databricks"] = {{"runtime", *c.databricks_runtime},
                              {"databricks_connect", optional_text(c.databricks_connect)},
                              {"requirement", requirement}};
  }
  return document;
}

json install_json(const SparkTask::ClusterInstall& install) {
  return {
      {"version", optional_text(install.version)},
      {"ok", install.ok},
      {"installer", install.installer ? json(installer_name(*install.installer)) : json(nullptr)}};
}

}  // namespace plo
