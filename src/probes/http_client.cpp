#include "probes/http_client.h"

#include <curl/curl.h>
#include <dlfcn.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <stdexcept>

#include "cancel/interrupt.h"
#include "util/text.h"

namespace plo {
namespace {

using Clock = HttpClient::Clock;
constexpr auto kConnectTimeLimit = std::chrono::milliseconds(2000);

// The libcurl functions plo calls, resolved from the shared library once.
struct Curl {
  CURLcode (*global_init)(long);
  CURL* (*easy_init)();
  CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
  CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...);
  void (*easy_cleanup)(CURL*);
  const char* (*easy_strerror)(CURLcode);
  CURLM* (*multi_init)();
  CURLMcode (*multi_setopt)(CURLM*, CURLMoption, ...);
  CURLMcode (*multi_add_handle)(CURLM*, CURL*);
  CURLMcode (*multi_remove_handle)(CURLM*, CURL*);
  CURLMcode (*multi_socket_action)(CURLM*, curl_socket_t, int, int*);
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
    resolve(library, "curl_easy_getinfo", loaded.easy_getinfo);
    resolve(library, "curl_easy_cleanup", loaded.easy_cleanup);
    resolve(library, "curl_easy_strerror", loaded.easy_strerror);
    resolve(library, "curl_multi_init", loaded.multi_init);
    resolve(library, "curl_multi_setopt", loaded.multi_setopt);
    resolve(library, "curl_multi_add_handle", loaded.multi_add_handle);
    resolve(library, "curl_multi_remove_handle", loaded.multi_remove_handle);
    resolve(library, "curl_multi_socket_action", loaded.multi_socket_action);
    resolve(library, "curl_multi_info_read", loaded.multi_info_read);
    resolve(library, "curl_multi_cleanup", loaded.multi_cleanup);
    resolve(library, "curl_slist_append", loaded.slist_append);
    resolve(library, "curl_slist_free_all", loaded.slist_free_all);
    loaded.global_init(CURL_GLOBAL_DEFAULT);
    return loaded;  // stays loaded for the rest of the process
  }();
  return curl;
}

// One request in flight: its easy handle, header list and the answer it collects.
struct Transfer {
  const Curl& lib;
  size_t index;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  HttpResponse response;
  size_t header_bytes = 0;
  bool added = false;

  Transfer(const Curl& l, size_t i) : lib(l), index(i), easy(l.easy_init()) {}
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;
  ~Transfer() {
    if (easy) lib.easy_cleanup(easy);
    if (headers) lib.slist_free_all(headers);
  }
};

size_t stream_body(char* data, size_t size, size_t count, void* user) {
  const auto* sink = static_cast<const std::function<bool(std::string_view)>*>(user);
  const size_t bytes = size * count;
  return (*sink)(std::string_view(data, bytes)) ? bytes : 0;
}

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

// Header lines, trailers included: libcurl passes HTTP/2 trailers here after the body.
size_t collect_header(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  t->header_bytes += bytes;
  if (t->header_bytes > CurlHttpClient::kMaxHeaderBytes) return 0;  // ends the transfer
  const std::string_view line(data, bytes);
  const auto colon = line.find(':');
  if (colon == std::string_view::npos || line.starts_with("HTTP/")) return bytes;
  t->response.headers.emplace_back(to_lower(trim_blanks(line.substr(0, colon))),
                                   std::string(trim_blanks(line.substr(colon + 1))));
  return bytes;
}

std::string failure_text(const Curl& lib, CURLcode rc) {
  switch (rc) {
    case CURLE_COULDNT_CONNECT:
      return "connection refused";
    case CURLE_OPERATION_TIMEDOUT:
      return "no answer in time";
    case CURLE_COULDNT_RESOLVE_HOST:
      return "unknown host";
    case CURLE_GOT_NOTHING:
      return "closed without an answer";
    case CURLE_WRITE_ERROR:
      return "answer headers too large";
    default:
      return lib.easy_strerror(rc);
  }
}

// The sockets libcurl wants watched and when it wants to be called back without one.
struct Watch {
  std::map<curl_socket_t, short> sockets;
  std::optional<Clock::time_point> timer;
};

int on_socket(CURL*, curl_socket_t socket, int what, void* user, void*) {
  auto* watch = static_cast<Watch*>(user);
  if (what == CURL_POLL_REMOVE) {
    watch->sockets.erase(socket);
  } else {
    short events = 0;
    if (what == CURL_POLL_IN || what == CURL_POLL_INOUT) events |= POLLIN;
    if (what == CURL_POLL_OUT || what == CURL_POLL_INOUT) events |= POLLOUT;
    watch->sockets[socket] = events;
  }
  return 0;
}

int on_timer(CURLM*, long timeout_ms, void* user) {
  auto* watch = static_cast<Watch*>(user);
  if (timeout_ms < 0) {
    watch->timer.reset();
  } else {
    watch->timer = Clock::now() + std::chrono::milliseconds(timeout_ms);
  }
  return 0;
}

void configure(const Curl& lib, Transfer& t, const HttpRequest& request, long total_ms) {
  const auto setopt = lib.easy_setopt;
  CURL* curl = t.easy;
  setopt(curl, CURLOPT_URL, request.url.c_str());
  setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  setopt(curl, CURLOPT_NOSIGNAL, 1L);
  setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
         std::min<long>(total_ms, static_cast<long>(kConnectTimeLimit.count())));
  setopt(curl, CURLOPT_TIMEOUT_MS, total_ms);
  setopt(curl, CURLOPT_NOPROXY, "localhost,127.0.0.0/8,::1");
  // No CURLOPT_MAXFILESIZE: a body over the cap is cut by collect_body, announced length or not.
  if (request.on_body) {
    setopt(curl, CURLOPT_WRITEFUNCTION, stream_body);
    setopt(curl, CURLOPT_WRITEDATA, &request.on_body);
    setopt(curl, CURLOPT_FAILONERROR, 1L);  // an error page is not the body asked for
  } else {
    setopt(curl, CURLOPT_WRITEFUNCTION, collect_body);
    setopt(curl, CURLOPT_WRITEDATA, &t.response);
  }
  if (request.follow_redirects) {
    setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    setopt(curl, CURLOPT_MAXREDIRS, 5L);
    setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  }
  if (request.stall_limit.count() > 0) {
    setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(request.stall_limit.count()));
  }
  setopt(curl, CURLOPT_USERAGENT, "plo/" PLO_VERSION);
  setopt(curl, CURLOPT_PRIVATE, &t);
  if (request.method != "GET") setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  if (!request.body.empty()) {
    setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
    // Without this libcurl may wait for "100 Continue" before sending the body.
    t.headers = lib.slist_append(t.headers, "Expect:");
  }
  if (request.http2) {
    setopt(curl, CURLOPT_HTTP_VERSION,
           request.url.starts_with("https://")
               ? static_cast<long>(CURL_HTTP_VERSION_2TLS)
               : static_cast<long>(CURL_HTTP_VERSION_2_PRIOR_KNOWLEDGE));
  }
  if (request.connect_only) setopt(curl, CURLOPT_CONNECT_ONLY, 1L);
  if (request.want_headers) {
    setopt(curl, CURLOPT_HEADERFUNCTION, collect_header);
    setopt(curl, CURLOPT_HEADERDATA, &t);
  }
  for (const std::string& header : request.headers) {
    t.headers = lib.slist_append(t.headers, header.c_str());
  }
  if (t.headers) setopt(curl, CURLOPT_HTTPHEADER, t.headers);
}

int milliseconds_until(Clock::time_point when) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, 24 * 3600 * 1000));
}

}  // namespace

std::optional<HttpResponse> HttpClient::get(const std::string& url,
                                            std::chrono::milliseconds time_limit) {
  std::optional<HttpResponse> answer;
  perform({HttpRequest{.url = url, .time_limit = time_limit}}, Clock::now() + time_limit,
          [&](size_t, const std::optional<HttpResponse>& a) {
            answer = a;
            return true;
          });
  return answer;
}

void CurlHttpClient::perform(const std::vector<HttpRequest>& requests, Clock::time_point deadline,
                             const OnAnswer& on_answer) {
  // Threads libcurl starts (its resolver) inherit this mask, so interrupts reach only the ppoll
  // below, which lets them through.
  const InterruptsBlocked blocked;
  throw_if_interrupted();
  if (requests.empty()) return;
  const Curl& lib = curl_library();

  std::unique_ptr<CURLM, CURLMcode (*)(CURLM*)> multi(lib.multi_init(), lib.multi_cleanup);
  if (!multi) throw std::runtime_error("cannot start libcurl");
  Watch watch;
  lib.multi_setopt(multi.get(), CURLMOPT_SOCKETFUNCTION, on_socket);
  lib.multi_setopt(multi.get(), CURLMOPT_SOCKETDATA, &watch);
  lib.multi_setopt(multi.get(), CURLMOPT_TIMERFUNCTION, on_timer);
  lib.multi_setopt(multi.get(), CURLMOPT_TIMERDATA, &watch);

  // Declared after `multi` so that the handles leave it before it is cleaned up.
  std::vector<std::unique_ptr<Transfer>> transfers;
  struct Detach {
    const Curl& lib;
    CURLM* multi;
    std::vector<std::unique_ptr<Transfer>>& transfers;
    ~Detach() {
      for (auto& t : transfers) {
        if (t->added) lib.multi_remove_handle(multi, t->easy);
      }
    }
  } detach{lib, multi.get(), transfers};

  size_t running = 0;
  bool enough = false;
  const auto finish = [&](Transfer& t, std::optional<HttpResponse> answer) {
    lib.multi_remove_handle(multi.get(), t.easy);
    t.added = false;
    --running;
    if (!enough && on_answer(t.index, answer)) enough = true;
  };

  for (size_t i = 0; i < requests.size(); ++i) {
    auto t = std::make_unique<Transfer>(lib, i);
    const long total_ms =
        std::max<long>(1, std::min<long>(static_cast<long>(requests[i].time_limit.count()),
                                         milliseconds_until(deadline)));
    if (t->easy) {
      configure(lib, *t, requests[i], total_ms);
      t->added = lib.multi_add_handle(multi.get(), t->easy) == CURLM_OK;
    }
    if (t->added) ++running;
    transfers.push_back(std::move(t));
  }
  for (auto& t : transfers) {
    if (!t->added && !enough && on_answer(t->index, std::nullopt)) enough = true;
  }

  const auto collect_finished = [&] {
    int queued = 0;
    while (CURLMsg* message = lib.multi_info_read(multi.get(), &queued)) {
      if (message->msg != CURLMSG_DONE) continue;
      Transfer* t = nullptr;
      lib.easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &t);
      const CURLcode rc = message->data.result;
      std::optional<HttpResponse> answer;
      if (rc == CURLE_OK || t->response.truncated) {
        lib.easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &t->response.status);
        curl_off_t total_us = 0;
        lib.easy_getinfo(t->easy, CURLINFO_TOTAL_TIME_T, &total_us);
        t->response.elapsed_ms = static_cast<long>(total_us / 1000);
        answer = std::move(t->response);
      } else if (std::string* why_not = requests[t->index].why_not) {
        long status = 0;
        lib.easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &status);
        *why_not = rc == CURLE_HTTP_RETURNED_ERROR ? "answered HTTP " + std::to_string(status)
                                                   : failure_text(lib, rc);
      }
      finish(*t, std::move(answer));
    }
  };

  int still_running = 0;
  lib.multi_socket_action(multi.get(), CURL_SOCKET_TIMEOUT, 0, &still_running);
  collect_finished();
  while (running > 0 && !enough) {
    throw_if_interrupted();
    if (Clock::now() >= deadline) return;
    int timeout_ms = milliseconds_until(deadline);
    if (watch.timer) timeout_ms = std::min(timeout_ms, milliseconds_until(*watch.timer));

    std::vector<pollfd> fds;
    fds.reserve(watch.sockets.size());
    for (const auto& [socket, events] : watch.sockets) fds.push_back(pollfd{socket, events, 0});
    const int ready = wait_with_interrupts(fds.data(), fds.size(), timeout_ms);
    if (ready < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("cannot wait for network answers");
    }
    if (ready == 0 || (watch.timer && Clock::now() >= *watch.timer)) {
      watch.timer.reset();
      lib.multi_socket_action(multi.get(), CURL_SOCKET_TIMEOUT, 0, &still_running);
    }
    for (const pollfd& fd : fds) {
      if (fd.revents == 0) continue;
      int mask = 0;
      if (fd.revents & (POLLIN | POLLHUP)) mask |= CURL_CSELECT_IN;
      if (fd.revents & POLLOUT) mask |= CURL_CSELECT_OUT;
      if (fd.revents & (POLLERR | POLLNVAL)) mask |= CURL_CSELECT_ERR;
      lib.multi_socket_action(multi.get(), fd.fd, mask, &still_running);
    }
    collect_finished();
  }
}

}  // namespace plo
