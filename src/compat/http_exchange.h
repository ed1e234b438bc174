#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace plo {

// One request of a batch run side by side.
struct HttpRequest {
  std::string url = {};
  std::vector<std::string> headers = {};  // "Name: value"
  std::optional<std::string> body = {};   // POSTed when set
  bool http2 = false;                // HTTP/2: prior knowledge over http, ALPN over https
  bool connect_only = false;         // only open the TCP connection to the URL's host and port
};

// What one request got.
struct HttpResult {
  bool answered = false;  // an HTTP answer (or, for connect_only, the connection) came
  long status = 0;
  std::string body;  // cut off at the size cap
  bool truncated = false;
  // Answer headers and trailers in arrival order, names in lower case, values trimmed.
  std::vector<std::pair<std::string, std::string>> headers;
  long elapsed_ms = 0;  // until the answer ended (or the connection stood)
  std::string error;    // why there is no answer
};

// Runs HTTP requests side by side under one deadline; the real one is libcurl's.
class HttpExchange {
 public:
  virtual ~HttpExchange() = default;

  // One result per request, in order, all within `time_limit`. An interrupt (SIGINT, SIGTERM)
  // ends the wait at once with Interrupted.
  virtual std::vector<HttpResult> perform(const std::vector<HttpRequest>& requests,
                                          std::chrono::milliseconds time_limit) = 0;
};

}  // namespace plo
