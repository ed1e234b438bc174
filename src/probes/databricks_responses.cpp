#include <nlohmann/json.hpp>

#include <algorithm>

#include "catalogue/versions.h"
#include "probes/databricks_api.h"
#include "probes/spark_connect_url.h"
#include "util/text.h"

namespace plo {
namespace {

bool is_host_char(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
         c == '.' || c == '_';
}

nlohmann::json parse_object(std::string_view body) {
  auto json = nlohmann::json::parse(body, nullptr, /*allow_exceptions=*/false);
  return json.is_object() ? json : nlohmann::json();
}

std::optional<std::string> string_field(const nlohmann::json& json, const char* key) {
  if (!json.is_object()) return std::nullopt;
  const auto it = json.find(key);
  if (it == json.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

}  // namespace

std::optional<std::string> databricks_base_url(std::string_view host, std::string& error) {
  host = trim_blanks(host);
  std::string scheme = "https://";
  if (host.starts_with("https://")) {
    host.remove_prefix(8);
  } else if (host.starts_with("http://")) {
    host.remove_prefix(7);
    scheme = "http://";
  }
  while (host.ends_with('/')) host.remove_suffix(1);
  const std::string_view name = host.substr(0, host.find(':'));
  const std::string_view port = host.find(':') == std::string_view::npos
                                    ? std::string_view()
                                    : host.substr(host.find(':') + 1);
  if (name.empty() || !std::all_of(name.begin(), name.end(), is_host_char) ||
      (host.find(':') != std::string_view::npos &&
       (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })))) {
    error = "the Databricks host is not a host name";
    return std::nullopt;
  }
  if (scheme == "http://" && !is_loopback_host(name)) {
    error = "refusing to send the token over plain http to " + std::string(name) + "; use https://";
    return std::nullopt;
  }
  return scheme + std::string(host);
}

std::optional<DatabricksCluster> parse_databricks_cluster(std::string_view body) {
  const auto json = parse_object(body);
  const auto state = string_field(json, "state");
  if (!state) return std::nullopt;
  return DatabricksCluster{*state, string_field(json, "spark_version").value_or("")};
}

std::optional<std::string> spark_version_of_runtime(std::string_view versions_body,
                                                    std::string_view runtime) {
  const auto json = parse_object(versions_body);
  if (!json.is_object()) return std::nullopt;
  const auto versions = json.find("versions");
  if (versions == json.end() || !versions->is_array()) return std::nullopt;
  for (const auto& entry : *versions) {
    if (string_field(entry, "key") != std::string(runtime)) continue;
    const auto name = string_field(entry, "name");
    if (!name) return std::nullopt;
    constexpr std::string_view marker = "Apache Spark ";
    const auto at = name->find(marker);
    if (at == std::string::npos) return std::nullopt;
    const std::string_view rest = std::string_view(*name).substr(at + marker.size());
    const std::string_view version = rest.substr(0, rest.find_first_of(",) "));
    if (!looks_like_version(version) || version.empty()) return std::nullopt;
    return std::string(version);
  }
  return std::nullopt;
}

std::optional<std::string> databricks_error_message(std::string_view body) {
  return string_field(parse_object(body), "message");
}

}  // namespace plo
