// CurlHttpClient against a server on loopback: what it sends, what it keeps, how a batch ends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "probes/http_client.h"

namespace plo {
namespace {

using ::testing::HasSubstr;
using namespace std::chrono_literals;

// Serves `connections` connections one after another, answering each request with what `answer`
// makes of it (nothing: hold the connection open without a word), recording the requests.
class LoopbackServer {
 public:
  using Answer = std::function<std::optional<std::string>(const std::string& request)>;
  LoopbackServer(const char* address, int connections, Answer answer)
      : connections_(connections), answer_(std::move(answer)) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    ::inet_pton(AF_INET, address, &addr.sin_addr);
    socklen_t length = sizeof addr;
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&addr), length), 0);
    ::listen(fd_, 16);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &length);
    url_ = "http://" + std::string(address) + ":" + std::to_string(ntohs(addr.sin_port));
    thread_ = std::thread([this] { serve(); });
  }
  ~LoopbackServer() {
    thread_.join();
    for (int held : held_) ::close(held);
    ::close(fd_);
  }
  const std::string& url() const { return url_; }
  std::vector<std::string> requests;

 private:
  void serve() {
    for (int i = 0; i < connections_; ++i) {
      const int client = ::accept(fd_, nullptr, nullptr);
      if (client < 0) return;
      std::string request;
      char chunk[4096];
      // Headers, then a body as long as Content-Length says.
      while (request.find("\r\n\r\n") == std::string::npos || !body_complete(request)) {
        const ssize_t n = ::read(client, chunk, sizeof chunk);
        if (n <= 0) break;
        request.append(chunk, static_cast<size_t>(n));
      }
      requests.push_back(request);
      const std::optional<std::string> answer = answer_(request);
      if (!answer) {
        held_.push_back(client);
        continue;
      }
      for (size_t sent = 0; sent < answer->size();) {
        const ssize_t n =
            ::send(client, answer->data() + sent, answer->size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
      ::close(client);
    }
  }
  static bool body_complete(const std::string& request) {
    const auto header = request.find("Content-Length: ");
    const auto end = request.find("\r\n\r\n");
    if (header == std::string::npos || header > end) return true;
    return request.size() - end - 4 >= std::stoul(request.substr(header + 16));
  }

  int connections_;
  Answer answer_;
  std::vector<int> held_;
  int fd_ = -1;
  std::string url_;
  std::thread thread_;
};

std::string answer(const std::string& body, const std::string& status = "200 OK") {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

TEST(CurlHttpClient, SendsMethodHeadersAndBody) {
  LoopbackServer server("127.0.9.62", 1, [](auto&) { return answer("{}", "400 Bad Request"); });
  CurlHttpClient http;
  std::optional<HttpResponse> got;
  http.perform({{.url = server.url() + "/api/x",
                 .method = "POST",
                 .headers = {"Content-Type: application/json", "X-Plo: 1"},
                 .body = R"({"a":1})"}},
               HttpClient::Clock::now() + 5s, [&](size_t, const auto& a) {
                 got = a;
                 return false;
               });
  ASSERT_TRUE(got);
  EXPECT_EQ(got->status, 400);
  EXPECT_EQ(got->body, "{}");
  ASSERT_EQ(server.requests.size(), 1u);
  EXPECT_THAT(server.requests[0], HasSubstr("POST /api/x HTTP/1.1\r\n"));
  EXPECT_THAT(server.requests[0], HasSubstr("X-Plo: 1\r\n"));
  EXPECT_THAT(server.requests[0], HasSubstr("\r\n\r\n{\"a\":1}"));
}

TEST(CurlHttpClient, BodyIsCutAtTheCap) {
  LoopbackServer server("127.0.9.63", 1, [](auto&) { return answer(std::string(3 << 20, 'x')); });
  CurlHttpClient http;
  const auto got = http.get(server.url() + "/", 5s);
  ASSERT_TRUE(got);
  EXPECT_TRUE(got->truncated);
  EXPECT_EQ(got->body.size(), CurlHttpClient::kMaxBodyBytes);
}

TEST(CurlHttpClient, SilentServerEndsWithTheDeadlineAndEnoughEndsTheBatch) {
  LoopbackServer server("127.0.9.64", 2, [](const std::string& request) {
    return request.starts_with("GET /silent") ? std::nullopt : std::optional(answer("ok"));
  });
  CurlHttpClient http;
  std::vector<size_t> reported;
  http.perform({{.url = server.url() + "/silent"}, {.url = server.url() + "/ok"}},
               HttpClient::Clock::now() + 60s, [&](size_t index, const auto& a) {
                 reported.push_back(index);
                 EXPECT_TRUE(a && a->body == "ok");
                 return true;  // enough: the silent one is dropped long before 60 s
               });
  EXPECT_THAT(reported, ::testing::ElementsAre(1u));
  // A refused connection is reported as no answer.
  std::optional<std::optional<HttpResponse>> refused;
  http.perform({{.url = "http://127.0.9.65:9/"}}, HttpClient::Clock::now() + 5s,
               [&](size_t, const auto& a) {
                 refused = a;
                 return false;
               });
  ASSERT_TRUE(refused);
  EXPECT_FALSE(*refused);
}

}  // namespace
}  // namespace plo
