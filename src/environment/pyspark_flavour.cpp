#include "environment/pyspark_flavour.h"

#include <filesystem>

#include "util/environment.h"

namespace plo {
namespace {

namespace fs = std::filesystem;

fs::path comparable(const std::string& folder) {
  std::error_code error;
  const fs::path path = folder.empty() ? fs::path(".") : fs::path(folder);
  const fs::path canonical = fs::weakly_canonical(path, error);
  return error ? path.lexically_normal() : canonical;
}

bool ships_package(const std::string& name) {
  return name == "pyspark" || name == "pyspark-client" || name == "databricks-connect";
}

}  // namespace

const char* flavour_name(PySparkFlavour flavour) {
  switch (flavour) {
    case PySparkFlavour::Connect:
      return "connect";
    case PySparkFlavour::Client:
      return "client";
    case PySparkFlavour::DatabricksConnect:
      return "databricks-connect";
    case PySparkFlavour::Classic:
      break;
  }
  return "classic";
}

bool flavour_needs_java(PySparkFlavour flavour) {
  return flavour == PySparkFlavour::Classic || flavour == PySparkFlavour::Connect;
}

PySparkFlavourFindings classify_pyspark_flavour(
    const std::vector<PySparkDistribution>& distributions, const std::string& package) {
  PySparkFlavourFindings found;
  const fs::path site = comparable(fs::path(package).parent_path().string());
  const PySparkDistribution* pyspark = nullptr;
  const PySparkDistribution* client = nullptr;
  for (const PySparkDistribution& d : distributions) {
    if (comparable(d.folder) != site) continue;  // shadowed by the package import loads
    if (d.name == "pyspark-connect") {
      if (!found.connect) found.connect = d;
      continue;
    }
    if (!ships_package(d.name)) continue;
    found.conflicting.push_back(d);
    if (d.name == "pyspark" && !pyspark) pyspark = &d;
    if (d.name == "pyspark-client" && !client) client = &d;
    if (d.name == "databricks-connect" && !found.databricks_connect) found.databricks_connect = d;
  }
  if (found.conflicting.size() < 2) found.conflicting.clear();

  if (pyspark) {
    found.provider = *pyspark;
    found.flavour = found.connect ? PySparkFlavour::Connect : PySparkFlavour::Classic;
  } else if (client) {
    found.provider = *client;
    found.flavour = PySparkFlavour::Client;
  } else if (found.databricks_connect) {
    found.provider = found.databricks_connect;
    found.flavour = PySparkFlavour::DatabricksConnect;
  }
  return found;
}

std::optional<SparkHomeFinding> find_spark_home() {
  const auto home = non_empty_env("SPARK_HOME");
  if (!home) return std::nullopt;
  return SparkHomeFinding{*home, inspect_spark_distribution(*home)};
}

}  // namespace plo
