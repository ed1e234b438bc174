#include "compat/network_master_probe.h"

#include "compat/cluster_responses.h"

namespace plo {

std::vector<MasterProbeResult> NetworkMasterProbe::probe(const std::vector<MasterAddress>& masters,
                                                         std::chrono::milliseconds budget) {
  // Four requests per master, all side by side: asking REST and the UI at once costs nothing
  // and keeps a silent REST port from eating the UI's time.
  std::vector<HttpRequest> requests;
  for (const MasterAddress& master : masters) {
    const std::string host = "http://" + master.host;
    requests.push_back({.url = host + ":" + std::to_string(master.port) + "/",
                        .connect_only = true});
    requests.push_back({.url = host + ":8080/json/"});
    requests.push_back({.url = host + ":6066/v1/submissions/status/plo-probe"});
    requests.push_back({.url = host + ":8080/"});
  }
  const std::vector<HttpResult> results = http_.perform(requests, budget);
  std::vector<MasterProbeResult> probed;
  for (size_t i = 0; i < masters.size(); ++i) {
    const HttpResult& connect = results[4 * i];
    const HttpResult& status = results[4 * i + 1];
    const HttpResult& rest = results[4 * i + 2];
    const HttpResult& page = results[4 * i + 3];
    MasterProbeResult result{.address = masters[i]};
    result.connected = connect.answered;
    result.connect_ms = connect.elapsed_ms;
    result.connect_error = connect.error;
    if (status.answered && !status.truncated) {
      if (auto parsed = parse_master_status(status.body)) {
        result.status = parsed->status;
        result.alive_workers = parsed->alive_workers;
        result.cores = parsed->cores;
        result.ui_ms = status.elapsed_ms;
      }
    }
    if (rest.answered && !rest.truncated) {
      if (auto version = parse_rest_version(rest.body)) {
        result.version = version;
        result.version_source = "REST 6066";
      }
    }
    if (!result.version && page.answered) {
      if (auto version = parse_web_ui_version(page.body)) {
        result.version = version;
        result.version_source = "web UI 8080";
      }
    }
    probed.push_back(std::move(result));
  }
  return probed;
}

}  // namespace plo
