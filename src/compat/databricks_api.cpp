#include "compat/databricks_api.h"

namespace plo {

DatabricksAnswer HttpDatabricksApi::get(const std::string& base_url, const std::string& path,
                                        const std::string& token,
                                        std::chrono::milliseconds time_limit) {
  HttpRequest request{.url = base_url + path,
                      .headers = {"Authorization: Bearer " + token, "Accept: application/json",
                                  "User-Agent: plo/" PLO_VERSION}};
  const HttpResult result = std::move(http_.perform({request}, time_limit).front());
  DatabricksAnswer answer;
  answer.reachable = result.answered;
  answer.status = result.status;
  answer.latency_ms = result.elapsed_ms;
  answer.error = result.error;
  if (!result.truncated) answer.body = result.body;
  return answer;
}

}  // namespace plo
