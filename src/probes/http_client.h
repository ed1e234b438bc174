#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plo {

// One HTTP answer; the body is cut off at the client's size cap.
struct HttpResponse {
  long status = 0;
  std::string body;
  bool truncated = false;
  // The answer's headers and then its trailers (HTTP/2), names in lower case, values trimmed;
  // collected only for requests that ask for them.
  std::vector<std::pair<std::string, std::string>> headers = {};
  long elapsed_ms = 0;  // how long the request took
};

// One request of a batch. A GET unless a method is given; the body is sent when not empty.
struct HttpRequest {
  std::string url;
  // No single request may use up the time the others of its batch need; the batch's deadline
  // still bounds it.
  std::chrono::milliseconds time_limit = std::chrono::milliseconds(3000);
  std::string method = "GET";
  std::vector<std::string> headers = {};  // "Name: value"
  std::string body = {};
  bool http2 = false;              // HTTP/2: prior knowledge over http, ALPN over https
  bool connect_only = false;       // only open a TCP connection to the URL's host and port
  bool want_headers = false;       // collect the answer's headers and trailers (capped in size)
  std::string* why_not = nullptr;  // when set, receives why no answer came (refused, timeout...)
  // When set, the body goes here piece by piece instead of into the answer (which then holds no
  // body and no size cap applies); returning false ends the transfer without an answer.
  std::function<bool(std::string_view)> on_body = {};
  bool follow_redirects = false;  // follows up to 5 redirects, to https only
  // Ends the transfer when no byte arrives for that long (0: only the time limit applies).
  std::chrono::seconds stall_limit = std::chrono::seconds(0);
};

// Fetches URLs; the seam that tests replace.
class HttpClient {
 public:
  using Clock = std::chrono::steady_clock;
  // Told of each request as it ends, by its index in the batch, with its answer (nothing when
  // none came: refused, silent, broken, out of time). Returns true when the answers so far
  // suffice, which ends the batch at once.
  using OnAnswer = std::function<bool(size_t index, const std::optional<HttpResponse>& answer)>;

  virtual ~HttpClient() = default;

  // Runs the requests side by side until each has ended, `on_answer` says enough, or `deadline`
  // passes (the requests still running then are dropped unreported). Throws Interrupted at once
  // when SIGINT or SIGTERM arrives meanwhile.
  virtual void perform(const std::vector<HttpRequest>& requests, Clock::time_point deadline,
                       const OnAnswer& on_answer) = 0;

  // One GET within `time_limit`; nothing when no answer came.
  std::optional<HttpResponse> get(const std::string& url, std::chrono::milliseconds time_limit);
};

// HttpClient on libcurl's multi interface, waiting in ppoll with interrupts let through: connect
// and total time limits, a body size cap, http only, no proxy for loopback. libcurl and the TLS
// stack behind it are loaded on the first request, so that the commands that never talk HTTP do
// not pay for loading them at every start.
class CurlHttpClient : public HttpClient {
 public:
  CurlHttpClient() = default;
  CurlHttpClient(const CurlHttpClient&) = delete;
  CurlHttpClient& operator=(const CurlHttpClient&) = delete;

  void perform(const std::vector<HttpRequest>& requests, Clock::time_point deadline,
               const OnAnswer& on_answer) override;

  static constexpr size_t kMaxBodyBytes = 1 << 20;
  static constexpr size_t kMaxHeaderBytes = 64 << 10;
};

}  // namespace plo
