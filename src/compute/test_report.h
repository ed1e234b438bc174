#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console/console.h"

namespace plo {

// What `plo compute test` found about one endpoint of a compute.
struct EndpointReport {
  std::string url;  // never holds a token
  bool reachable = false;
  std::optional<long> latency_ms;
  std::optional<std::string> status;
  std::optional<std::string> spark_version;
  std::optional<std::string> error;
  std::vector<std::string> lines;  // what the text form says under the URL, already escaped
};

// What `plo compute test` found about a compute: computed first, then printed one way or the
// other.
struct TestReport {
  std::string name;
  std::optional<std::string> type;  // nothing when the compute is not defined
  std::optional<std::string> master;
  std::optional<std::string> shown_master;  // with any token=... value masked
  std::optional<std::string> host;
  std::vector<std::string> notes;  // lines before the endpoints (credentials), already escaped
  std::vector<EndpointReport> endpoints;
  std::vector<std::string> after;  // lines after the endpoints (databricks-connect fit)
  std::optional<std::string> spark_version;
  bool reachable = false;
  // False where the version is known without a request (a managed runtime, the local PySpark).
  bool asked = true;
  std::optional<std::string> error;  // the compute could not be tested at all
};

// The text form of the report, up to (not including) the cluster version report.
void print_test_report(Console& console, const TestReport& report);

// The JSON form; `match` is null without a version.
std::string test_report_json(const TestReport& report, std::optional<bool> match);

}  // namespace plo
