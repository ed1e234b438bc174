#include "compat/curl_exchange.h"

#include <curl/curl.h>
#include <dlfcn.h>
#include <sys/select.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <stdexcept>

#include "cancel/interrupt.h"
#include "util/text.h"

namespace plo {
namespace {

using Clock = std::chrono::steady_clock;

// The libcurl functions used here, resolved from the shared library once.
struct CurlMulti {
  CURLcode (*global_init)(long);
  CURL* (*easy_init)();
  CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
  CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...);
  void (*easy_cleanup)(CURL*);
  const char* (*easy_strerror)(CURLcode);
  CURLM* (*multi_init)();
  CURLMcode (*multi_add_handle)(CURLM*, CURL*);
  CURLMcode (*multi_remove_handle)(CURLM*, CURL*);
  CURLMcode (*multi_perform)(CURLM*, int*);
  CURLMcode (*multi_fdset)(CURLM*, fd_set*, fd_set*, fd_set*, int*);
  CURLMcode (*multi_timeout)(CURLM*, long*);
  CURLMsg* (*multi_info_read)(CURLM*, int*);
  CURLMcode (*multi_cleanup)(CURLM*);
  curl_slist* (*slist_append)(curl_slist*, const char*);
  void (*slist_free_all)(curl_slist*);
};

template <typename F>
void resolve(void* library, const char* name, F& function) {
  function = reinterpret_cast<F>(::dlsym(library, name));
  if (!function) throw std::runtime_error(std::string("libcurl lacks ") + name);
}

const CurlMulti& curl() {
  static const CurlMulti loaded = [] {
    void* library = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
      throw std::runtime_error("cannot load libcurl (install the libcurl4 package): " +
                               std::string(::dlerror()));
    }
    CurlMulti c{};
    resolve(library, "curl_global_init", c.global_init);
    resolve(library, "curl_easy_init", c.easy_init);
    resolve(library, "curl_easy_setopt", c.easy_setopt);
    resolve(library, "curl_easy_getinfo", c.easy_getinfo);
    resolve(library, "curl_easy_cleanup", c.easy_cleanup);
    resolve(library, "curl_easy_strerror", c.easy_strerror);
    resolve(library, "curl_multi_init", c.multi_init);
    resolve(library, "curl_multi_add_handle", c.multi_add_handle);
    resolve(library, "curl_multi_remove_handle", c.multi_remove_handle);
    resolve(library, "curl_multi_perform", c.multi_perform);
    resolve(library, "curl_multi_fdset", c.multi_fdset);
    resolve(library, "curl_multi_timeout", c.multi_timeout);
    resolve(library, "curl_multi_info_read", c.multi_info_read);
    resolve(library, "curl_multi_cleanup", c.multi_cleanup);
    resolve(library, "curl_slist_append", c.slist_append);
    resolve(library, "curl_slist_free_all", c.slist_free_all);
    c.global_init(CURL_GLOBAL_DEFAULT);
    return c;
  }();
  return loaded;
}

// One transfer in flight: its handle, what it collects, and whether it ended.
struct Transfer {
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  HttpResult result;
  size_t header_bytes = 0;
  bool done = false;
  bool header_overflow = false;
};

size_t collect_body(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  std::string& body = transfer->result.body;
  const size_t bytes = size * count;
  const size_t room = CurlHttpExchange::kMaxBodyBytes - body.size();
  if (bytes > room) {
    body.append(data, room);
    transfer->result.truncated = true;
    return 0;  // makes curl stop with CURLE_WRITE_ERROR
  }
  body.append(data, bytes);
  return bytes;
}

// Every header line, trailers included (libcurl passes HTTP/2 trailers here too).
size_t collect_header(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  transfer->header_bytes += bytes;
  if (transfer->header_bytes > CurlHttpExchange::kMaxHeaderBytes) {
    transfer->header_overflow = true;
    return 0;
  }
  const std::string_view line(data, bytes);
  const auto colon = line.find(':');
  if (colon == std::string_view::npos || line.starts_with("HTTP/")) return bytes;
  transfer->result.headers.emplace_back(to_lower(trim_blanks(line.substr(0, colon))),
                                        std::string(trim_blanks(line.substr(colon + 1))));
  return bytes;
}

std::string describe(const CurlMulti& lib, CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_CONNECT:
      return "connection refused or unreachable";
    case CURLE_OPERATION_TIMEDOUT:
      return "no answer within the time limit";
    case CURLE_COULDNT_RESOLVE_HOST:
      return "unknown host";
    case CURLE_GOT_NOTHING:
      return "the server closed the connection without answering";
    default:
      return lib.easy_strerror(code);
  }
}

long elapsed_ms(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

}  // namespace

std::vector<HttpResult> CurlHttpExchange::perform(const std::vector<HttpRequest>& requests,
                                                  std::chrono::milliseconds time_limit) {
  const CurlMulti& lib = curl();
  const auto start = Clock::now();
  const auto deadline = start + time_limit;
  const long total_ms = std::max<long>(1, static_cast<long>(time_limit.count()));

  std::unique_ptr<CURLM, CURLMcode (*)(CURLM*)> multi(lib.multi_init(), lib.multi_cleanup);
  if (!multi) throw std::runtime_error("libcurl cannot start a transfer");
  std::vector<std::unique_ptr<Transfer>> transfers;
  // Handles leave the multi handle before it goes, whatever ends this function.
  const auto cleanup = [&] {
    for (auto& t : transfers) {
      if (t->easy) {
        lib.multi_remove_handle(multi.get(), t->easy);
        lib.easy_cleanup(t->easy);
      }
      if (t->headers) lib.slist_free_all(t->headers);
      t->easy = nullptr;
      t->headers = nullptr;
    }
  };
  struct Guard {
    decltype(cleanup)& run;
    ~Guard() { run(); }
  } guard{cleanup};

  for (const HttpRequest& request : requests) {
    auto transfer = std::make_unique<Transfer>();
    CURL* easy = lib.easy_init();
    if (!easy) throw std::runtime_error("libcurl cannot start a transfer");
    transfer->easy = easy;
    const auto set = lib.easy_setopt;
    set(easy, CURLOPT_URL, request.url.c_str());
    set(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    set(easy, CURLOPT_NOSIGNAL, 1L);
    set(easy, CURLOPT_TIMEOUT_MS, total_ms);
    set(easy, CURLOPT_CONNECTTIMEOUT_MS, total_ms);
    set(easy, CURLOPT_NOPROXY, "localhost,127.0.0.0/8,::1");
    set(easy, CURLOPT_PRIVATE, transfer.get());
    if (request.connect_only) {
      set(easy, CURLOPT_CONNECT_ONLY, 1L);
    } else {
      set(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxBodyBytes));
      set(easy, CURLOPT_WRITEFUNCTION, collect_body);
      set(easy, CURLOPT_WRITEDATA, transfer.get());
      set(easy, CURLOPT_HEADERFUNCTION, collect_header);
      set(easy, CURLOPT_HEADERDATA, transfer.get());
      set(easy, CURLOPT_USERAGENT, "plo/" PLO_VERSION);
    }
    if (request.http2) {
      const bool tls = request.url.starts_with("https://");
      set(easy, CURLOPT_HTTP_VERSION,
          tls ? static_cast<long>(CURL_HTTP_VERSION_2TLS)
              : static_cast<long>(CURL_HTTP_VERSION_2_PRIOR_KNOWLEDGE));
    }
    for (const std::string& header : request.headers) {
      transfer->headers = lib.slist_append(transfer->headers, header.c_str());
    }
    if (request.body) {
      // Without this libcurl waits for "100 Continue" before a larger body.
      transfer->headers = lib.slist_append(transfer->headers, "Expect:");
      set(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body->size()));
      set(easy, CURLOPT_POSTFIELDS, request.body->data());
    }
    if (transfer->headers) set(easy, CURLOPT_HTTPHEADER, transfer->headers);
    lib.multi_add_handle(multi.get(), easy);
    transfers.push_back(std::move(transfer));
  }

  const InterruptsBlocked blocked;
  size_t remaining = transfers.size();
  while (remaining > 0) {
    int running = 0;
    lib.multi_perform(multi.get(), &running);
    int queued = 0;
    while (CURLMsg* message = lib.multi_info_read(multi.get(), &queued)) {
      if (message->msg != CURLMSG_DONE) continue;
      Transfer* transfer = nullptr;
      lib.easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
      if (!transfer || transfer->done) continue;
      transfer->done = true;
      --remaining;
      HttpResult& result = transfer->result;
      curl_off_t total_us = 0;
      lib.easy_getinfo(message->easy_handle, CURLINFO_TOTAL_TIME_T, &total_us);
      result.elapsed_ms = static_cast<long>(total_us / 1000);
      const CURLcode code = message->data.result;
      if (code == CURLE_OK || (result.truncated && code == CURLE_WRITE_ERROR)) {
        result.answered = true;
        lib.easy_getinfo(message->easy_handle, CURLINFO_RESPONSE_CODE, &result.status);
      } else if (transfer->header_overflow) {
        result.error = "the answer's headers are larger than any real server sends";
      } else {
        result.error = describe(lib, code);
      }
    }
    if (remaining == 0) break;

    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    long curl_wait = -1;
    lib.multi_timeout(multi.get(), &curl_wait);
    int wait_ms = static_cast<int>(std::min<long>(left.count(), curl_wait < 0 ? 100 : curl_wait));
    fd_set readers;
    fd_set writers;
    fd_set errors;
    FD_ZERO(&readers);
    FD_ZERO(&writers);
    FD_ZERO(&errors);
    int max_fd = -1;
    lib.multi_fdset(multi.get(), &readers, &writers, &errors, &max_fd);
    std::vector<pollfd> fds;
    for (int fd = 0; fd <= max_fd; ++fd) {
      short events = 0;
      if (FD_ISSET(fd, &readers)) events |= POLLIN;
      if (FD_ISSET(fd, &writers)) events |= POLLOUT;
      if (FD_ISSET(fd, &errors)) events |= POLLPRI;
      if (events) fds.push_back({fd, events, 0});
    }
    // No sockets yet (name resolution in its thread): look again soon.
    if (fds.empty()) wait_ms = std::min(wait_ms, 20);
    throw_if_interrupted();
    if (wait_with_interrupts(fds.data(), fds.size(), wait_ms) < 0 && errno == EINTR) {
      throw_if_interrupted();
    }
  }

  std::vector<HttpResult> results;
  for (auto& transfer : transfers) {
    if (!transfer->done) {
      transfer->result.error = "no answer within the time limit";
      transfer->result.elapsed_ms = elapsed_ms(start);
    }
    results.push_back(std::move(transfer->result));
  }
  return results;
}

}  // namespace plo
