#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace plo {

// One HTTP answer; the body is cut off at the client's size cap.
struct HttpResponse {
  long status = 0;
  std::string body;
  bool truncated = false;
};

// Fetches URLs for cluster detection; the seam that tests replace.
class HttpClient {
 public:
  virtual ~HttpClient() = default;

  // GETs the URL within `time_limit`; nothing when no answer came (refused, silent, broken).
  virtual std::optional<HttpResponse> get(const std::string& url,
                                          std::chrono::milliseconds time_limit) = 0;
};

// HttpClient on libcurl: connect and total time limits, a body size cap, no proxy for loopback.
// libcurl and the TLS stack behind it are loaded on the first request, so that the commands that
// never talk HTTP do not pay for loading them at every start.
class CurlHttpClient : public HttpClient {
 public:
  CurlHttpClient() = default;
  CurlHttpClient(const CurlHttpClient&) = delete;
  CurlHttpClient& operator=(const CurlHttpClient&) = delete;

  std::optional<HttpResponse> get(const std::string& url,
                                  std::chrono::milliseconds time_limit) override;

  static constexpr size_t kMaxBodyBytes = 1 << 20;
};

}  // namespace plo
