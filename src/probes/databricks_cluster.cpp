#include "probes/databricks_cluster.h"

namespace plo {

std::string percent_encoded(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      out.push_back(ch);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::optional<std::string> databricks_cluster_runtime(
    const std::map<std::string, std::string, std::less<>>& config, const EnvLookup& env,
    const FileLookup& read_file, DatabricksApi& api, std::chrono::milliseconds time_limit) {
  const auto credentials = resolve_databricks_credentials(config, env, read_file);
  if (credentials.token_withheld || !credentials.missing().empty()) return std::nullopt;
  std::string error;
  const auto base = databricks_base_url(*credentials.host, error);
  if (!base) return std::nullopt;
  const DatabricksAnswer answer =
      api.get(*base, "/api/2.1/clusters/get?cluster_id=" + percent_encoded(*credentials.cluster_id),
              *credentials.token, time_limit);
  if (!answer.reachable || answer.status != 200) return std::nullopt;
  const auto cluster = parse_databricks_cluster(answer.body);
  if (!cluster || cluster->runtime.empty()) return std::nullopt;
  return cluster->runtime;
}

}  // namespace plo
