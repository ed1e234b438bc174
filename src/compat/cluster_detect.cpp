#include "compat/cluster_detect.h"

#include <algorithm>

#include "compat/cluster_responses.h"
#include "compat/master_url.h"

namespace plo {
namespace {

using Clock = std::chrono::steady_clock;

// No single request may use up the time the other hosts and endpoints need.
constexpr auto kRequestTimeLimit = std::chrono::milliseconds(3000);

}  // namespace

std::optional<std::string> detect_cluster_version(std::string_view master_url, HttpClient& http,
                                                  std::chrono::milliseconds budget) {
  const auto hosts = parse_master_hosts(master_url);
  if (!hosts) return std::nullopt;
  const auto deadline = Clock::now() + budget;
  const auto fetch = [&](const std::string& url) -> std::optional<HttpResponse> {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return std::nullopt;
    return http.get(url, std::min(left, kRequestTimeLimit));
  };
  for (const std::string& host : *hosts) {
    // The REST server answers any status query, known id or not, with its version.
    if (auto rest = fetch("http://" + host + ":6066/v1/submissions/status/plo-probe")) {
      if (!rest->truncated) {
        if (auto version = parse_rest_version(rest->body)) return version;
      }
    }
    if (auto page = fetch("http://" + host + ":8080/")) {
      if (auto version = parse_web_ui_version(page->body)) return version;
    }
  }
  return std::nullopt;
}

}  // namespace plo
