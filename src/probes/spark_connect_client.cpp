#include "probes/spark_connect_client.h"

#include <fmt/format.h>

#include <random>

#include "catalogue/versions.h"
#include "probes/spark_connect_proto.h"
#include "util/environment.h"

namespace plo {
namespace {

// A random (version 4) UUID, as Spark Connect wants for a session id.
std::string random_uuid() {
  std::random_device device;
  unsigned char bytes[16];
  for (auto& byte : bytes) byte = static_cast<unsigned char>(device());
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0f) | 0x40);
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3f) | 0x80);
  std::string text;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += fmt::format("{:02x}", bytes[i]);
  }
  return text;
}

std::optional<std::string> header(const HttpResponse& result, std::string_view name) {
  std::optional<std::string> value;
  for (const auto& [key, text] : result.headers) {
    if (key == name) value = text;  // trailers come last and win
  }
  return value;
}

}  // namespace

std::string grpc_status_name(int code) {
  static constexpr const char* kNames[] = {"OK",
                                           "CANCELLED",
                                           "UNKNOWN",
                                           "INVALID_ARGUMENT",
                                           "DEADLINE_EXCEEDED",
                                           "NOT_FOUND",
                                           "ALREADY_EXISTS",
                                           "PERMISSION_DENIED",
                                           "RESOURCE_EXHAUSTED",
                                           "FAILED_PRECONDITION",
                                           "ABORTED",
                                           "OUT_OF_RANGE",
                                           "UNIMPLEMENTED",
                                           "INTERNAL",
                                           "UNAVAILABLE",
                                           "DATA_LOSS",
                                           "UNAUTHENTICATED"};
  if (code >= 0 && code < static_cast<int>(std::size(kNames))) {
    return fmt::format("grpc-status {} {}", code, kNames[code]);
  }
  return fmt::format("grpc-status {}", code);
}

SparkConnectResult GrpcSparkConnectClient::spark_version(const SparkConnectUrl& url,
                                                         std::chrono::milliseconds time_limit) {
  SparkConnectResult result;
  std::string why_not = "no answer in time";
  HttpRequest request{.url = {}, .time_limit = time_limit, .method = "POST"};
  request.want_headers = true;
  request.why_not = &why_not;
  request.url = fmt::format("{}://{}:{}/spark.connect.SparkConnectService/AnalyzePlan",
                            uses_tls(url) ? "https" : "http", url.host, url.port);
  request.http2 = true;
  request.headers = {"Content-Type: application/grpc", "TE: trailers",
                     "User-Agent: " + url.user_agent.value_or("plo/" PLO_VERSION)};
  // Without TLS only to a loopback address, which never leaves the machine (uses_tls).
  if (url.token) request.headers.push_back("Authorization: Bearer " + *url.token);
  const std::string user = url.user_id.value_or(non_empty_env("USER").value_or("plo"));
  request.body = grpc_frame(encode_spark_version_request(url.session_id.value_or(random_uuid()),
                                                         user, "plo/" PLO_VERSION));
  std::optional<HttpResponse> answered;
  http_.perform({request}, HttpClient::Clock::now() + time_limit,
                [&](size_t, const std::optional<HttpResponse>& a) {
                  answered = a;
                  return true;
                });
  if (!answered) {
    result.error = why_not;
    return result;
  }
  const HttpResponse& answer = *answered;
  result.reachable = true;
  result.latency_ms = answer.elapsed_ms;
  const auto status = header(answer, "grpc-status");
  if (!status) {
    result.error = answer.status == 200
                       ? "the answer has no grpc-status (not a gRPC server?)"
                       : fmt::format("HTTP {} without a gRPC status", answer.status);
    return result;
  }
  int code = -1;
  if (status->size() <= 3 && !status->empty() &&
      status->find_first_not_of("0123456789") == std::string::npos) {
    code = std::stoi(*status);
  }
  result.grpc_status = code;
  result.grpc_message = header(answer, "grpc-message").value_or("");
  if (code != 0) {
    result.error = grpc_status_name(code);
    if (!result.grpc_message.empty()) result.error += ": " + result.grpc_message;
    return result;
  }
  if (answer.truncated) {
    result.error = "the answer is larger than a version answer can be";
    return result;
  }
  std::string error;
  const auto message = grpc_unframe(answer.body, error);
  if (!message) {
    result.error = error;
    return result;
  }
  const auto version = decode_spark_version_response(*message);
  if (!version || !looks_like_version(*version)) {
    result.error = "the answer holds no Spark version";
    return result;
  }
  result.version = version;
  return result;
}

}  // namespace plo
