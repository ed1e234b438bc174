#include "probes/databricks_config.h"

#include "util/text.h"

namespace plo {

std::vector<std::string> DatabricksCredentials::missing() const {
  std::vector<std::string> names;
  if (!host) names.emplace_back("host");
  if (!token) names.emplace_back("token");
  if (!cluster_id) names.emplace_back("cluster_id");
  return names;
}

std::optional<std::string> normalised_host(std::string_view host) {
  host = trim_blanks(host);
  std::string scheme = "https";
  if (const auto sep = host.find("://"); sep != std::string_view::npos) {
    scheme = to_lower(host.substr(0, sep));
    host.remove_prefix(sep + 3);
  }
  if (scheme != "https" && scheme != "http") return std::nullopt;
  host = host.substr(0, host.find_first_of("/?#"));
  if (const auto at = host.rfind('@'); at != std::string_view::npos) host.remove_prefix(at + 1);
  std::string name(host);
  std::string port = scheme == "https" ? "443" : "80";
  if (const auto colon = name.rfind(':');
      colon != std::string::npos && name.find(']', colon) == std::string::npos) {
    if (colon + 1 < name.size()) port = name.substr(colon + 1);
    name.resize(colon);
  }
  if (!name.empty() && name.back() == '.') name.pop_back();
  if (name.empty()) return std::nullopt;
  return scheme + "://" + to_lower(name) + ":" + port;
}

std::map<std::string, std::string, std::less<>> ini_section(std::string_view text,
                                                            std::string_view section) {
  std::map<std::string, std::string, std::less<>> settings;
  bool inside = false;
  while (!text.empty()) {
    const auto nl = text.find('\n');
    const std::string_view line = trim_blanks(text.substr(0, nl));
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    if (line.front() == '[') {
      const auto close = line.find(']');
      inside = close != std::string_view::npos && trim_blanks(line.substr(1, close - 1)) == section;
      continue;
    }
    if (!inside) continue;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = trim_blanks(line.substr(0, eq));
    const std::string_view value = trim_blanks(line.substr(eq + 1));
    if (!key.empty()) settings[std::string(key)] = std::string(value);
  }
  return settings;
}

DatabricksCredentials resolve_databricks_credentials(
    const std::map<std::string, std::string, std::less<>>& config, const EnvLookup& env,
    const FileLookup& read_file) {
  DatabricksCredentials found;
  const auto from_config = [&](std::string_view key) -> std::optional<std::string> {
    const auto it = config.find(key);
    if (it == config.end() || it->second.empty()) return std::nullopt;
    return it->second;
  };

  if (auto file = env("DATABRICKS_CONFIG_FILE")) {
    found.config_file = *file;
  } else if (auto home = env("HOME")) {
    found.config_file = *home + "/.databrickscfg";
  }
  if (auto profile = from_config("profile")) {
    found.profile = *profile;
  } else if (auto named = env("DATABRICKS_CONFIG_PROFILE")) {
    found.profile = *named;
  } else {
    found.profile = "DEFAULT";
  }
  std::map<std::string, std::string, std::less<>> profile;
  if (!found.config_file.empty()) {
    if (auto text = read_file(found.config_file)) profile = ini_section(*text, found.profile);
  }
  const std::string profile_source = found.config_file + " [" + found.profile + "]";

  const auto pick = [&](std::optional<std::string>& value, std::string& source, const char* key,
                        const char* variable) {
    if (auto v = from_config(key)) {
      value = v;
      source = "computes.yml";
    } else if (auto e = env(variable)) {
      value = e;
      source = variable;
    } else if (auto p = profile.find(key); p != profile.end() && !p->second.empty()) {
      value = p->second;
      source = profile_source;
    }
  };
  pick(found.host, found.host_source, "host", "DATABRICKS_HOST");
  pick(found.token, found.token_source, "token", "DATABRICKS_TOKEN");
  pick(found.cluster_id, found.cluster_id_source, "cluster_id", "DATABRICKS_CLUSTER_ID");

  // The host a token came with: computes.yml's own tokens go with the compute as written.
  if (found.token && found.host && found.token_source != "computes.yml") {
    std::optional<std::string> token_host;
    std::string token_host_source;
    if (found.token_source == "DATABRICKS_TOKEN") {
      token_host = env("DATABRICKS_HOST");
      token_host_source = "DATABRICKS_HOST";
    } else if (auto p = profile.find("host"); p != profile.end() && !p->second.empty()) {
      token_host = p->second;
      token_host_source = "the profile's host";
    }
    const auto theirs = token_host ? normalised_host(*token_host) : std::nullopt;
    if (!theirs || theirs != normalised_host(*found.host)) {
      found.token_withheld = "the token of " + found.token_source + " belongs to " +
                             (token_host ? *token_host + " (" + token_host_source + ")"
                                         : std::string("no named host")) +
                             ", not to " + *found.host + ": plo does not send it there";
      found.token.reset();
      found.token_source.clear();
    }
  }
  return found;
}

}  // namespace plo
