#include "services.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "environment/databricks_client.h"
#include "environment/interpreter.h"
#include "probes/databricks_cluster.h"
#include "probes/spark_connect_url.h"
#include "registry/compute_registry.h"
#include "util/environment.h"
#include "util/text_file.h"

namespace plo::cli {
namespace {

// The Spark version of a Spark Connect server, as match-cluster asks it.
std::optional<std::string> spark_connect_version(SparkConnectClient& client,
                                                 const std::string& master) {
  std::string error;
  const auto url = parse_spark_connect_url(master, error);
  if (!url) throw std::runtime_error("cannot use the Spark Connect URL: " + error);
  return client.spark_version(*url, std::chrono::milliseconds(9000)).version;
}

}  // namespace

TaskServices RealServices::spark(Console& console, InstallerRequest installer) {
  return {
      .console = console,
      .compat = compat,
      .runner = runner,
      .interpreter = find_interpreter,
      .compute_registry = [] { return YamlComputeRegistry::from_plo_home(); },
      .databricks =
          [this] {
            return std::make_unique<InterpreterDatabricksClient>(runner, find_interpreter());
          },
      .spark_connect_version =
          [this](const std::string& master) {
            return spark_connect_version(spark_connect, master);
          },
      .databricks_runtime =
          [this](const ComputeRecord& compute) {
            static const std::map<std::string, std::string, std::less<>> kNoConfig;
            HttpDatabricksApi api(http);
            return databricks_cluster_runtime(
                compute.config ? *compute.config : kNoConfig,
                [](const char* name) { return non_empty_env(name); },
                [](const std::string& path) { return read_file_prefix(path); }, api,
                std::chrono::milliseconds(9000));
          },
      .project_folder =
          [] {
            std::error_code error;  // a removed current folder has no project file
            return std::filesystem::current_path(error);
          },
      .installer = std::move(installer),
      .package_index = &package_index,
  };
}

bool install_pyspark_for_step(Console& console, const InstallerRequest& installer,
                              const std::string& version, const std::string& java_home, bool system,
                              bool keep_companions, bool no_project) {
  if (!java_home.empty()) ::setenv("JAVA_HOME", java_home.c_str(), 1);
  RealServices fresh;
  TaskServices services = fresh.spark(console, installer);
  services.system = system;
  services.keep_companions = keep_companions;
  services.no_project = no_project;
  SparkTask task(std::move(services));
  return task.set_version(version);
}

}  // namespace plo::cli
