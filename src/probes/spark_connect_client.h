#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "probes/spark_connect_url.h"

namespace plo {

// What a Spark Connect server answered to the AnalyzePlan call for its version.
struct SparkConnectResult {
  bool reachable = false;  // an HTTP/2 answer came
  long latency_ms = 0;
  std::optional<int> grpc_status = {};  // from the trailers (or a trailers-only answer's headers)
  std::string grpc_message = {};        // grpc-message, as sent
  std::optional<std::string> version = {};
  std::string error = {};  // why no version, when none
};

// Asks a Spark Connect server for its Spark version; the seam that tests replace.
class SparkConnectClient {
 public:
  virtual ~SparkConnectClient() = default;

  // The server's answer within `time_limit`. The URL's token goes only over TLS or to a
  // loopback address.
  virtual SparkConnectResult spark_version(const SparkConnectUrl& url,
                                           std::chrono::milliseconds time_limit) = 0;
};

// The name gRPC gives a status code (OK, UNAVAILABLE, UNAUTHENTICATED...), or "status N".
std::string grpc_status_name(int code);

}  // namespace plo

#include "probes/http_client.h"

namespace plo {

// SparkConnectClient speaking gRPC's wire format over libcurl's HTTP/2: one unary AnalyzePlan
// call, its status from the trailers.
class GrpcSparkConnectClient : public SparkConnectClient {
 public:
  explicit GrpcSparkConnectClient(HttpClient& http) : http_(http) {}

  SparkConnectResult spark_version(const SparkConnectUrl& url,
                                   std::chrono::milliseconds time_limit) override;

 private:
  HttpClient& http_;
};

}  // namespace plo
