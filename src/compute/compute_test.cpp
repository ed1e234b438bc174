#include <nlohmann/json.hpp>

#include <fmt/format.h>

#include <chrono>

#include "catalogue/databricks_runtimes.h"
#include "catalogue/runtimes.h"
#include "catalogue/versions.h"
#include "compute/compute_target.h"
#include "compute/compute_task.h"
#include "compute/load_computes.h"
#include "compute/shown.h"
#include "compute/test_report.h"
#include "probes/databricks_cluster.h"
#include "probes/master_url.h"
#include "util/text.h"

namespace plo {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The whole test ends within 10 seconds; the probes get a little less, for the printing.
constexpr milliseconds kBudget(9500);

std::string host_port(const MasterAddress& address) {
  return address.host + ":" + std::to_string(address.port);
}

void test_masters(const std::vector<MasterAddress>& masters, MasterProbe& probe,
                  TestReport& report) {
  for (const MasterProbeResult& result : probe.probe(masters, kBudget)) {
    EndpointReport endpoint;
    endpoint.url = "spark://" + host_port(result.address);
    endpoint.reachable = result.connected;
    const std::string port = std::to_string(result.address.port);
    if (result.connected) {
      endpoint.latency_ms = result.connect_ms;
      endpoint.lines.push_back(
          fmt::format("Master port {}: connected in {} ms", port, result.connect_ms));
    } else {
      endpoint.error = shown(result.connect_error);
      endpoint.lines.push_back(
          fmt::format("Master port {}: not reachable ({})", port, shown(result.connect_error)));
    }
    if (result.status) {
      endpoint.status = shown(*result.status, 40);
      std::string line = "Status: " + *endpoint.status;
      if (result.alive_workers) line += fmt::format(", {} alive workers", *result.alive_workers);
      if (result.cores) line += fmt::format(", {} cores", *result.cores);
      endpoint.lines.push_back(line + fmt::format(" (web UI /json/, {} ms)", result.ui_ms));
    } else {
      endpoint.lines.push_back("Status: no /json/ answer from the web UI (port 8080)");
    }
    if (result.version) {
      endpoint.spark_version = result.version;
      endpoint.lines.push_back("Spark: " + *result.version + " (" + result.version_source + ")");
      if (!report.spark_version) report.spark_version = result.version;
    } else {
      endpoint.lines.push_back("Spark: version not found (REST 6066, web UI 8080)");
    }
    // A master that takes connections answered, whatever its web UI does.
    if (result.connected) report.reachable = true;
    report.endpoints.push_back(std::move(endpoint));
  }
}

void test_spark_connect(const std::string& master, SparkConnectClient& client, TestReport& report) {
  std::string error;
  const auto url = parse_spark_connect_url(master, error);
  if (!url) {
    report.error = "Not a Spark Connect URL: " + error;
    return;
  }
  EndpointReport endpoint;
  endpoint.url = fmt::format("sc://{}:{}", url->host, url->port);
  const SparkConnectResult result = client.spark_version(*url, kBudget);
  endpoint.reachable = result.reachable;
  if (result.reachable) {
    endpoint.latency_ms = result.latency_ms;
    const std::string status = result.grpc_status ? grpc_status_name(*result.grpc_status) : "?";
    endpoint.status = status;
    std::string line = fmt::format("AnalyzePlan: answered in {} ms, {}", result.latency_ms, status);
    if (!result.grpc_message.empty()) line += ": " + shown(result.grpc_message);
    endpoint.lines.push_back(line);
  }
  if (result.version) {
    endpoint.spark_version = result.version;
    endpoint.lines.push_back("Spark: " + *result.version);
    report.spark_version = result.version;
    report.reachable = true;
  } else {
    endpoint.error = shown(result.error);
    // A gRPC error status is on the AnalyzePlan line already.
    if (!result.grpc_status || *result.grpc_status == 0) {
      endpoint.lines.push_back((result.reachable ? "No version: " : "No answer: ") +
                               shown(result.error));
    }
  }
  report.endpoints.push_back(std::move(endpoint));
}

// "a.b" of a version as two numbers, for ordering runtimes and clients.
std::optional<std::pair<int, int>> numeric_major_minor(std::string_view version) {
  int parts[2] = {0, 0};
  size_t i = 0;
  for (int p = 0; p < 2; ++p) {
    const size_t start = i;
    while (i < version.size() && version[i] >= '0' && version[i] <= '9' && i - start < 6) {
      parts[p] = parts[p] * 10 + (version[i] - '0');
      ++i;
    }
    if (i == start) return std::nullopt;
    if (p == 0) {
      if (i >= version.size() || version[i] != '.') return std::nullopt;
      ++i;
    }
  }
  return std::pair{parts[0], parts[1]};
}

// Fills an endpoint from a Databricks answer; true for HTTP 200.
bool read_answer(const DatabricksAnswer& answer, EndpointReport& endpoint) {
  endpoint.reachable = answer.reachable;
  if (!answer.reachable) {
    endpoint.error = shown(answer.error);
    endpoint.lines.push_back("No answer: " + shown(answer.error));
    return false;
  }
  endpoint.latency_ms = answer.latency_ms;
  if (answer.status == 200) return true;
  std::string error = fmt::format("HTTP {}", answer.status);
  if (answer.status == 401 || answer.status == 403) error += " (the token was refused)";
  if (auto message = databricks_error_message(answer.body)) error += ": " + shown(*message);
  endpoint.error = error;
  endpoint.lines.push_back(fmt::format("Answered in {} ms: {}", answer.latency_ms, error));
  return false;
}

void test_databricks(const ComputeRecord& record, ComputeServices& s, TestReport& report) {
  // The databricks-connect query afterwards may take up to 2 seconds of the 10.
  const auto deadline = Clock::now() + kBudget - std::chrono::seconds(2);
  const auto left = [&] {
    return std::max(milliseconds(1),
                    std::chrono::duration_cast<milliseconds>(deadline - Clock::now()));
  };
  static const std::map<std::string, std::string, std::less<>> kNoConfig;
  const auto credentials = resolve_databricks_credentials(
      record.config ? *record.config : kNoConfig, s.env, s.read_file);
  if (credentials.host) {
    report.notes.push_back("  Host from:   " + shown(credentials.host_source, 400));
  }
  if (credentials.token) {
    report.notes.push_back("  Token from:  " + shown(credentials.token_source, 400) +
                           " (not shown)");
  }
  if (credentials.cluster_id) {
    report.notes.push_back("  Cluster ID:  " + shown(*credentials.cluster_id) + " (from " +
                           shown(credentials.cluster_id_source, 400) + ")");
  }
  if (credentials.token_withheld) {
    report.error = "Token not sent: " + shown(*credentials.token_withheld, 600);
    report.after.push_back("  Give the compute's own token in computes.yml (config key token), or");
    report.after.push_back("  name the same host in computes.yml and where the token comes from");
    return;
  }
  const auto missing = credentials.missing();
  if (!missing.empty()) {
    std::string names;
    for (const auto& name : missing) names += (names.empty() ? "" : ", ") + name;
    report.error = "Missing Databricks credentials: " + names;
    report.after.push_back("  Give them in computes.yml (config keys host, token, cluster_id, or");
    report.after.push_back("  profile), as DATABRICKS_HOST, DATABRICKS_TOKEN and");
    report.after.push_back("  DATABRICKS_CLUSTER_ID, or in the [" + shown(credentials.profile) +
                           "] profile of " + shown(credentials.config_file, 400));
    return;
  }
  std::string error;
  const auto base = databricks_base_url(*credentials.host, error);
  if (!base) {
    report.error = error;
    return;
  }

  EndpointReport cluster_endpoint;
  cluster_endpoint.url = *base + "/api/2.1/clusters/get";
  const DatabricksAnswer cluster_answer = s.databricks.get(
      *base, "/api/2.1/clusters/get?cluster_id=" + percent_encoded(*credentials.cluster_id),
      *credentials.token, left());
  std::optional<DatabricksCluster> cluster;
  if (read_answer(cluster_answer, cluster_endpoint)) {
    cluster = parse_databricks_cluster(cluster_answer.body);
    if (!cluster) {
      cluster_endpoint.error = "the answer is not a cluster description";
      cluster_endpoint.lines.push_back("Answered, but not with a cluster description");
    } else {
      cluster_endpoint.status = shown(cluster->state, 40);
      cluster_endpoint.lines.push_back(fmt::format(
          "Answered in {} ms: state {}, runtime {}", cluster_answer.latency_ms,
          *cluster_endpoint.status,
          cluster->runtime.empty() ? "none (serverless?)" : shown(cluster->runtime, 80)));
      report.reachable = true;
    }
  }
  report.endpoints.push_back(std::move(cluster_endpoint));
  if (!cluster || cluster->runtime.empty()) return;

  EndpointReport versions_endpoint;
  versions_endpoint.url = *base + "/api/2.1/clusters/spark-versions";
  const DatabricksAnswer versions_answer =
      s.databricks.get(*base, "/api/2.1/clusters/spark-versions", *credentials.token, left());
  std::optional<std::string> spark;
  if (read_answer(versions_answer, versions_endpoint)) {
    spark = spark_version_of_runtime(versions_answer.body, cluster->runtime);
    versions_endpoint.lines.push_back(
        fmt::format("Answered in {} ms: {}", versions_answer.latency_ms,
                    spark ? "Spark " + *spark : "the list does not name this runtime's Spark"));
  }
  if (!spark) {
    spark = databricks_runtime_spark(cluster->runtime);
    if (spark) versions_endpoint.lines.push_back("Spark " + *spark + " (by the runtime's number)");
  }
  versions_endpoint.spark_version = spark;
  report.spark_version = spark;
  report.endpoints.push_back(std::move(versions_endpoint));

  const auto runtime = numeric_major_minor(cluster->runtime);
  const auto client = s.databricks_connect_version ? s.databricks_connect_version() : std::nullopt;
  const std::string runtime_mm =
      runtime ? fmt::format("{}.{}", runtime->first, runtime->second) : shown(cluster->runtime);
  if (!client) {
    report.after.push_back(
        "  databricks-connect is not installed; for this cluster: pip install "
        "\"databricks-connect==" +
        runtime_mm + ".*\"");
  } else if (const auto client_mm = numeric_major_minor(*client); client_mm && runtime) {
    if (*client_mm <= *runtime) {
      report.after.push_back("  databricks-connect " + shown(*client) + " fits runtime " +
                             runtime_mm);
    } else {
      report.after.push_back("  databricks-connect " + shown(*client) + " is newer than runtime " +
                             runtime_mm + ": pip install \"databricks-connect==" + runtime_mm +
                             ".*\"");
    }
  } else {
    report.after.push_back("  databricks-connect " + shown(*client) + " (cannot compare)");
  }
}

// A managed runtime's compute: the Spark of plo's runtime table, without a request.
void test_runtime(const std::string& name, TestReport& report) {
  report.asked = false;
  EndpointReport endpoint;
  endpoint.url = "runtime:" + shown(name);
  const ManagedRuntime* runtime = find_runtime(name);
  if (!runtime) {
    report.error = "No runtime '" + shown(name) + "' in plo's table: run 'plo runtimes'";
    return;
  }
  if (runtime->spark.empty()) {
    endpoint.error = "the vendor's page names no Spark version";
    endpoint.lines.push_back(runtime->title + ": the vendor's page names no Spark version");
  } else {
    endpoint.reachable = true;
    endpoint.spark_version = runtime->spark;
    endpoint.lines.push_back(runtime->title + ": Spark " + runtime->spark +
                             " (plo's runtime table; nothing is asked)");
    report.spark_version = runtime->spark;
    report.reachable = true;
  }
  report.endpoints.push_back(std::move(endpoint));
}

void test_local(JavaCompatService& compat, TestReport& report) {
  report.asked = false;
  EndpointReport endpoint;
  endpoint.url = "local";
  if (const auto pyspark = compat.get_pyspark_info()) {
    endpoint.reachable = true;
    endpoint.spark_version = pyspark->version;
    endpoint.lines.push_back("PySpark " + pyspark->version + " (the local PySpark runs the job)");
    report.spark_version = pyspark->version;
    report.reachable = true;
  } else {
    endpoint.error = "PySpark is not installed";
    endpoint.lines.push_back("PySpark is not installed");
  }
  report.endpoints.push_back(std::move(endpoint));
}

}  // namespace

TestReport ComputeTask::test_report(const std::string& name) {
  TestReport report;
  report.name = name;
  std::optional<ComputeRecord> record;
  try {
    const auto registry = load_computes(s_.computes_path());
    if (registry) record = registry->get(name);
    if (!record) report.error = "Compute '" + shown(name) + "' not found in computes.yml";
  } catch (const std::exception& e) {
    report.error = "Error loading compute config: " + shown(e.what(), 400);
  }

  if (record) {
    report.type = record->type && !record->type->empty() ? *record->type : "spark";
    report.master = record->setting("master");
    if (report.master) report.shown_master = without_token(*report.master);
    report.host = record->setting("host");
    const bool databricks = *report.type == "databricks" ||
                            (report.host && contains_ignoring_case(*report.host, "databricks"));
    const auto runtime = record->setting("runtime");
    if (!report.master && !report.host && runtime) {
      test_runtime(*runtime, report);
    } else if (report.master && report.master->starts_with("spark://")) {
      if (const auto masters = parse_master_addresses(*report.master)) {
        test_masters(*masters, s_.masters, report);
      } else {
        report.error = "Not a standalone master URL: spark://HOST:PORT or spark://H1:P1,H2:P2";
      }
    } else if (report.master && is_local_master(*report.master)) {
      test_local(s_.compat, report);
    } else if (databricks) {
      test_databricks(*record, s_, report);
    } else if (report.master && report.master->starts_with("sc://")) {
      test_spark_connect(*report.master, s_.spark_connect, report);
    } else {
      report.error =
          "Nothing to test: no spark://, sc:// or local master URL and no Databricks host";
    }
  }

  return report;
}

bool ComputeTask::test(const std::string& name, bool json) {
  Console& c = s_.console;
  const TestReport report = test_report(name);
  std::optional<bool> match;
  if (report.spark_version && json) {
    const auto pyspark = s_.compat.get_pyspark_info();
    match = pyspark && pyspark->major_minor == major_minor_of(*report.spark_version);
  }
  if (json) {
    c.echo(test_report_json(report, match));
    return report.reachable;
  }
  print_test_report(c, report);
  if (report.spark_version) {
    s_.cluster_report(*report.spark_version);
  } else if (report.type) {
    c.echo();
  }
  return report.reachable;
}

}  // namespace plo
