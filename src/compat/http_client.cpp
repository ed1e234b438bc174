#include "compat/http_client.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

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

// The libcurl functions plo calls, resolved from the shared library once.
struct Curl {
  CURLcode (*global_init)(long);
  CURL* (*easy_init)();
  CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
  CURLcode (*easy_perform)(CURL*);
  CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...);
  void (*easy_cleanup)(CURL*);
};

template <typename F>
void resolve(void* library, const char* name, F& function) {
  function = reinterpret_cast<F>(::dlsym(library, name));
  if (!function) throw std::runtime_error(std::string("libcurl lacks ") + name);
}

const Curl& curl_library() {
  static const Curl curl = [] {
    void* library = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
      throw std::runtime_error("cannot load libcurl (install the libcurl4 package): " +
                               std::string(::dlerror()));
    }
    Curl loaded{};
    resolve(library, "curl_global_init", loaded.global_init);
    resolve(library, "curl_easy_init", loaded.easy_init);
    resolve(library, "curl_easy_setopt", loaded.easy_setopt);
    resolve(library, "curl_easy_perform", loaded.easy_perform);
    resolve(library, "curl_easy_getinfo", loaded.easy_getinfo);
    resolve(library, "curl_easy_cleanup", loaded.easy_cleanup);
    loaded.global_init(CURL_GLOBAL_DEFAULT);
    return loaded;  // stays loaded for the rest of the process
  }();
  return curl;
}

}  // namespace

std::optional<HttpResponse> CurlHttpClient::get(const std::string& url,
                                                std::chrono::milliseconds time_limit) {
  const Curl& lib = curl_library();
  std::unique_ptr<CURL, void (*)(CURL*)> curl(lib.easy_init(), lib.easy_cleanup);
  if (!curl) return std::nullopt;
  const auto curl_easy_setopt = lib.easy_setopt;
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
  const CURLcode rc = lib.easy_perform(curl.get());
  if (rc != CURLE_OK && !response.truncated) return std::nullopt;
  lib.easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &response.status);
  return response;
}

}  // namespace plo
