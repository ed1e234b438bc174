#include "probes/network_master_probe.h"

#include "probes/cluster_responses.h"

namespace plo {

std::vector<MasterProbeResult> NetworkMasterProbe::probe(const std::vector<MasterAddress>& masters,
                                                         std::chrono::milliseconds budget) {
  // Four requests per master, all side by side: asking REST and the UI at once costs nothing
  // and keeps a silent REST port from eating the UI's time.
  constexpr size_t kPerMaster = 4;
  std::vector<std::string> why_not(kPerMaster * masters.size(), "no answer in time");
  std::vector<HttpRequest> requests;
  for (const MasterAddress& master : masters) {
    const std::string host = "http://" + master.host;
    const size_t first = requests.size();
    requests.push_back({.url = host + ":" + std::to_string(master.port) + "/",
                        .time_limit = budget,
                        .connect_only = true,
                        .why_not = &why_not[first]});
    requests.push_back({.url = host + ":8080/json/", .time_limit = budget});
    requests.push_back(
        {.url = host + ":6066/v1/submissions/status/plo-probe", .time_limit = budget});
    requests.push_back({.url = host + ":8080/", .time_limit = budget});
  }
  std::vector<std::optional<HttpResponse>> answers(requests.size());
  http_.perform(requests, HttpClient::Clock::now() + budget,
                [&](size_t index, const std::optional<HttpResponse>& answer) {
                  answers[index] = answer;
                  return false;
                });

  std::vector<MasterProbeResult> probed;
  for (size_t i = 0; i < masters.size(); ++i) {
    const auto& connect = answers[kPerMaster * i];
    const auto& status = answers[kPerMaster * i + 1];
    const auto& rest = answers[kPerMaster * i + 2];
    const auto& page = answers[kPerMaster * i + 3];
    MasterProbeResult result{.address = masters[i]};
    result.connected = connect.has_value();
    if (connect) {
      result.connect_ms = connect->elapsed_ms;
    } else {
      result.connect_error = why_not[kPerMaster * i];
    }
    if (status && !status->truncated) {
      if (auto parsed = parse_master_status(status->body)) {
        result.status = parsed->status;
        result.alive_workers = parsed->alive_workers;
        result.cores = parsed->cores;
        result.ui_ms = status->elapsed_ms;
      }
    }
    if (rest && !rest->truncated) {
      if (auto version = parse_rest_version(rest->body)) {
        result.version = version;
        result.version_source = "REST 6066";
      }
    }
    if (!result.version && page) {
      if (auto version = parse_web_ui_version(page->body)) {
        result.version = version;
        result.version_source = "web UI 8080";
      }
    }
    probed.push_back(std::move(result));
  }
  return probed;
}

}  // namespace plo
