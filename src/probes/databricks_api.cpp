#include "probes/databricks_api.h"

namespace plo {

DatabricksAnswer HttpDatabricksApi::get(const std::string& base_url, const std::string& path,
                                        const std::string& token,
                                        std::chrono::milliseconds time_limit) {
  DatabricksAnswer answer;
  answer.error = "no answer in time";
  const HttpRequest request{
      .url = base_url + path,
      .time_limit = time_limit,
      .headers = {"Authorization: Bearer " + token, "Accept: application/json"},
      .why_not = &answer.error};
  http_.perform({request}, HttpClient::Clock::now() + time_limit,
                [&](size_t, const std::optional<HttpResponse>& response) {
                  if (response) {
                    answer.reachable = true;
                    answer.status = response->status;
                    answer.latency_ms = response->elapsed_ms;
                    if (!response->truncated) answer.body = response->body;
                  }
                  return true;
                });
  return answer;
}

}  // namespace plo
