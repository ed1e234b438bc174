#include "probes/cluster_detect.h"

#include <algorithm>
#include <vector>

#include "probes/cluster_responses.h"
#include "probes/master_url.h"

namespace plo {
namespace {

// No single request may use up the time the other endpoints need: a hung master before a healthy
// one in the list then costs this much, not the whole budget.
constexpr auto kRequestTimeLimit = std::chrono::milliseconds(3000);

// What is known of one host while its two answers come in.
struct HostState {
  int pending = 2;
  std::optional<std::string> rest_version;
  std::optional<std::string> ui_version;

  bool decided() const { return pending == 0 || rest_version || ui_version; }
  std::optional<std::string> version() const { return rest_version ? rest_version : ui_version; }
};

}  // namespace

std::optional<std::string> detect_cluster_version(std::string_view master_url, HttpClient& http,
                                                  std::chrono::milliseconds budget) {
  const auto hosts = parse_master_hosts(master_url);
  if (!hosts) return std::nullopt;
  // Requests 2i and 2i+1 are host i's REST server and web UI.
  std::vector<HttpRequest> requests;
  for (const std::string& host : *hosts) {
    // The REST server answers any status query, known id or not, with its version.
    requests.push_back({.url = "http://" + host + ":6066/v1/submissions/status/plo-probe",
                        .time_limit = kRequestTimeLimit});
    requests.push_back({.url = "http://" + host + ":8080/", .time_limit = kRequestTimeLimit});
  }
  std::vector<HostState> states(hosts->size());
  const auto winner = [&]() -> std::optional<std::string> {
    for (const HostState& state : states) {
      if (!state.decided()) return std::nullopt;
      if (auto version = state.version()) return version;
    }
    return std::nullopt;
  };
  http.perform(requests, HttpClient::Clock::now() + budget,
               [&](size_t index, const std::optional<HttpResponse>& answer) {
                 HostState& state = states[index / 2];
                 --state.pending;
                 if (answer) {
                   if (index % 2 == 0) {
                     if (!answer->truncated) state.rest_version = parse_rest_version(answer->body);
                   } else {
                     state.ui_version = parse_web_ui_version(answer->body);
                   }
                 }
                 return winner().has_value() ||
                        std::all_of(states.begin(), states.end(),
                                    [](const HostState& s) { return s.pending == 0; });
               });
  // Out of time or all answered: the first host in order that told its version.
  for (const HostState& state : states) {
    if (auto version = state.version()) return version;
  }
  return std::nullopt;
}

}  // namespace plo
