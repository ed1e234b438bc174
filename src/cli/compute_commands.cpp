#include "compute_commands.h"

#include <CLI/CLI.hpp>

#include <optional>

#include "environment/databricks_connect_version.h"
#include "environment/interpreter.h"
#include "help.h"
#include "hints.h"
#include "locks.h"
#include "probes/databricks_api.h"
#include "probes/network_master_probe.h"
#include "registry/compute_registry.h"
#include "services.h"
#include "spark/spark_task.h"
#include "util/environment.h"
#include "util/text.h"
#include "util/text_file.h"

namespace plo::cli {

void add_compute_commands(CLI::App& app, ComputeRequest& request) {
  using Op = ComputeRequest::Op;
  CLI::App* compute =
      app.add_subcommand("compute", "List, test and edit the computes of computes.yml");
  compute->require_subcommand(1);
  CLI::App* list = compute->add_subcommand("list", "List the compute engines of computes.yml");
  list->add_flag("--json", request.json, "One JSON document on standard output");
  list->callback([&request] { request.op = Op::List; });
  set_examples(*list, {"plo compute list", "plo compute list --json | jq -r '.computes[].name'"});
  CLI::App* test = compute->add_subcommand("test", "Check a compute live (at most 10 seconds)");
  test->add_option("NAME", request.name, "A compute engine of computes.yml")->required();
  test->add_flag("--json", request.json, "One JSON document on standard output");
  test->callback([&request] { request.op = Op::Test; });
  set_examples(*test, {"plo compute test prod", "plo compute test prod --json"});
  CLI::App* add = compute->add_subcommand("add", "Add a compute engine to computes.yml");
  add->add_option("NAME", request.compute.name, "The new compute's name")->required();
  CLI::Option* master = add->add_option_function<std::string>(
      "--master", [&request](const std::string& v) { request.compute.master = v; },
      "Master URL: spark://HOST:PORT[,HOST:PORT], sc://HOST[:PORT][/;params] or local[*]");
  master->option_text("URL");
  CLI::Option* host = add->add_option_function<std::string>(
      "--host", [&request](const std::string& v) { request.compute.host = v; },
      "Workspace host (Databricks)");
  master->excludes(host);
  add->add_option_function<std::string>(
      "--type", [&request](const std::string& v) { request.compute.type = v; },
      "Compute type (spark, databricks, ...); a host containing 'databricks' is databricks");
  add->add_option_function<std::string>(
         "--cluster-id", [&request](const std::string& v) { request.compute.cluster_id = v; },
         "Databricks cluster id")
      ->option_text("ID");
  add->add_option_function<std::string>(
         "--runtime", [&request](const std::string& v) { request.compute.runtime = v; },
         "A managed runtime of 'plo runtimes' (glue-5.0): its Spark, without a request")
      ->option_text("NAME");
  add->callback([&request] {
    if (!request.compute.master && !request.compute.host && !request.compute.runtime) {
      throw CLI::RequiredError("--master, --host or --runtime");
    }
    // A workspace host is recorded as what plo would take it for anyway.
    if (!request.compute.type && request.compute.host &&
        contains_ignoring_case(*request.compute.host, "databricks")) {
      request.compute.type = "databricks";
    }
    request.op = Op::Add;
  });
  set_examples(*add,
               {"plo compute add prod --master spark://spark-master.internal:7077",
                "plo compute add connect --master 'sc://connect.internal:15002/;use_ssl=true'",
                "plo compute add analytics --host adb-1234567890123456.7.azuredatabricks.net \\",
                "    --cluster-id 0123-456789-abcdefgh      # recorded as type: databricks",
                "plo compute add etl --type glue --runtime glue-5.0"});
  CLI::App* remove = compute->add_subcommand("remove", "Remove a compute engine from computes.yml");
  remove->add_option("NAME", request.name, "A compute engine of computes.yml")->required();
  remove->callback([&request] { request.op = Op::Remove; });
  set_examples(*remove, {"plo compute remove prod          # the previous file is kept as .bak"});
}

ComputeServices real_compute_services(RealServices& services, Console& console,
                                      MasterProbe& masters, DatabricksApi& databricks,
                                      SparkTask& spark) {
  return {
      .console = console,
      .compat = services.compat,
      .computes_path = [] { return YamlComputeRegistry::default_path(); },
      .masters = masters,
      .spark_connect = services.spark_connect,
      .databricks = databricks,
      .env = [](const char* name) { return non_empty_env(name); },
      .read_file = [](const std::string& path) { return read_file_prefix(path); },
      .databricks_connect_version =
          [&services] {
            return installed_databricks_connect_version(services.runner, find_interpreter());
          },
      .cluster_report =
          [&spark](const std::string& version) { return spark.report_cluster_version(version); },
  };
}

int run_compute(const ComputeRequest& request, const GlobalOptions& options) {
  using Op = ComputeRequest::Op;
  RealServices services;
  UserConsole user(options, {.no_color = request.json, .document = request.json});
  Console& console = user.get();
  // `compute test` ends with match-cluster's cluster version report.
  SparkTask spark(services.spark(console));
  NetworkMasterProbe masters(services.http);
  HttpDatabricksApi databricks(services.http);
  ComputeTask computes(real_compute_services(services, console, masters, databricks, spark));
  // A read-modify-write of computes.yml: a second plo editing it at once would lose one edit.
  std::optional<FileLock> lock;
  if (request.op == Op::Add || request.op == Op::Remove) {
    lock.emplace(lock_computes(YamlComputeRegistry::default_path()));
  }
  switch (request.op) {
    case Op::List:
      return computes.list(request.json) ? 0 : 1;
    case Op::Test:
      if (computes.test(request.name, request.json)) return 0;
      hint_compute_name(request.name);
      return 1;
    case Op::Add:
      return computes.add(request.compute) ? 0 : 1;
    case Op::Remove:
      if (computes.remove(request.name)) return 0;
      hint_compute_name(request.name);
      return 1;
    case Op::None:
      break;
  }
  return 2;
}

}  // namespace plo::cli
