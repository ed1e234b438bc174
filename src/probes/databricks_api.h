#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace plo {

// One answer of the Databricks REST API.
struct DatabricksAnswer {
  bool reachable = false;  // an HTTP answer came
  long status = 0;
  long latency_ms = 0;
  std::string body = {};
  std::string error = {};  // why no answer
};

// GETs Databricks REST API paths with a bearer token; the seam that tests replace.
class DatabricksApi {
 public:
  virtual ~DatabricksApi() = default;

  // GETs `base_url` + `path` ("/api/2.1/clusters/get?cluster_id=..."), sending the token as
  // "Authorization: Bearer"; within `time_limit`.
  virtual DatabricksAnswer get(const std::string& base_url, const std::string& path,
                               const std::string& token, std::chrono::milliseconds time_limit) = 0;
};

// The https:// base URL of a workspace host ("adb-1.azuredatabricks.net", "https://..." or
// "http://127.0.0.1:8000"); nothing, with `error` set, for plain http to a host that is not
// loopback (the token would travel in clear) or a host that is not a host name.
std::optional<std::string> databricks_base_url(std::string_view host, std::string& error);

// A cluster as clusters/get describes it.
struct DatabricksCluster {
  std::string state;
  std::string runtime;  // the spark_version key, "15.4.x-scala2.12"
};
std::optional<DatabricksCluster> parse_databricks_cluster(std::string_view body);

// The Spark version of a runtime key from the clusters/spark-versions list ("... Apache Spark
// 3.5.0, ..." in the entry's name); nothing when the list does not name it.
std::optional<std::string> spark_version_of_runtime(std::string_view versions_body,
                                                    std::string_view runtime);

// The message of a Databricks error answer ({"error_code", "message"}), or nothing.
std::optional<std::string> databricks_error_message(std::string_view body);

}  // namespace plo

#include "probes/http_client.h"

namespace plo {

// DatabricksApi over HTTP.
class HttpDatabricksApi : public DatabricksApi {
 public:
  explicit HttpDatabricksApi(HttpClient& http) : http_(http) {}

  DatabricksAnswer get(const std::string& base_url, const std::string& path,
                       const std::string& token, std::chrono::milliseconds time_limit) override;

 private:
  HttpClient& http_;
};

}  // namespace plo
