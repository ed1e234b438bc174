#include "compat/http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>

namespace plo {
namespace {

constexpr auto kConnectTimeLimit = std::chrono::milliseconds(2000);

size_t collect_body(char* data, size_t size, size_t count, void* user) {
  auto* response = static_cast<HttpResponse*>(user);
  const size_t bytes = size * count;
  const size_t room = CurlHttpClient::kMaxBodyBytes - response->body.size();
  if (bytes > room) {
    response->body.append(data, room);
    response->truncated = true;
    return 0;  // makes curl stop with CURLE_WRITE_ERROR
  }
  response->body.append(data, bytes);
  return bytes;
}

}  // namespace

CurlHttpClient::CurlHttpClient() {
  curl_global_init(CURL_GLOBAL_DEFAULT);
}

CurlHttpClient::~CurlHttpClient() {
  curl_global_cleanup();
}

std::optional<HttpResponse> CurlHttpClient::get(const std::string& url,
                                                std::chrono::milliseconds time_limit) {
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) return std::nullopt;
  HttpResponse response;
  const long total_ms = std::max<long>(1, static_cast<long>(time_limit.count()));
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT_MS,
                   std::min<long>(total_ms, static_cast<long>(kConnectTimeLimit.count())));
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, total_ms);
  curl_easy_setopt(curl.get(), CURLOPT_NOPROXY, "localhost,127.0.0.0/8,::1");
  curl_easy_setopt(curl.get(), CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxBodyBytes));
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, collect_body);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &response);
  curl_easy_setopt(curl.get(), CURLOPT_USERAGENT, "plo/" PLO_VERSION);
  const CURLcode rc = curl_easy_perform(curl.get());
  if (rc != CURLE_OK && !response.truncated) return std::nullopt;
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &response.status);
  return response;
}

}  // namespace plo
