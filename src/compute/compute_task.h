#pragma once

#include <functional>
#include <optional>
#include <string>

#include "compat/java_compat_service.h"
#include "compute/test_report.h"
#include "console/console.h"
#include "probes/databricks_api.h"
#include "probes/databricks_config.h"
#include "probes/master_probe.h"
#include "probes/spark_connect_client.h"
#include "registry/computes_editor.h"

namespace plo {

// What the compute commands reach the world through.
struct ComputeServices {
  Console& console;
  JavaCompatService& compat;
  std::function<std::string()> computes_path;  // $PLO_HOME/computes.yml
  MasterProbe& masters;
  SparkConnectClient& spark_connect;
  DatabricksApi& databricks;
  EnvLookup env;
  FileLookup read_file;
  // The installed databricks-connect's version, or nothing when it is not installed.
  std::function<std::optional<std::string>()> databricks_connect_version;
  // match-cluster's cluster version report for a found version; true when the versions match.
  std::function<bool(const std::string&)> cluster_report;
};

// The `plo compute` commands: list, test, add and remove the computes of computes.yml.
class ComputeTask {
 public:
  explicit ComputeTask(ComputeServices services) : s_(std::move(services)) {}

  // Lists every compute in file order; false only for a computes.yml that cannot be read.
  bool list(bool json);

  // Probes the compute's endpoints live, at most 10 seconds; true when the compute answered.
  bool test(const std::string& name, bool json);

  // What test finds, printing nothing.
  TestReport test_report(const std::string& name);

  // Adds a compute to computes.yml (creating it); false, changing nothing, when refused.
  bool add(const NewCompute& compute);

  // Removes a compute from computes.yml; false, changing nothing, when refused.
  bool remove(const std::string& name);

 private:
  ComputeServices s_;
};

}  // namespace plo
