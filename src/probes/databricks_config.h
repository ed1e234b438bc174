#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plo {

// Where a Databricks credential was found, for the user (never the value of a token).
struct DatabricksCredentials {
  std::optional<std::string> host;
  std::optional<std::string> token;
  std::optional<std::string> cluster_id;
  std::string host_source;  // "computes.yml", "DATABRICKS_HOST", "~/.databrickscfg [DEFAULT]"...
  std::string token_source;
  std::string cluster_id_source;
  std::string config_file;  // the profile file consulted
  std::string profile;      // the profile consulted
  // Why a token found was not taken: it belongs to another host than the compute's. A token is
  // sent only to the host it came with, so that a shared computes.yml cannot collect tokens.
  std::optional<std::string> token_withheld;

  // The names of the missing pieces: "host", "token", "cluster_id".
  std::vector<std::string> missing() const;
};

// Reads an environment variable (nothing when unset or empty); the seam tests replace.
using EnvLookup = std::function<std::optional<std::string>(const char*)>;

// Reads a small file (nothing when it cannot be read).
using FileLookup = std::function<std::optional<std::string>(const std::string&)>;

// The Databricks credentials for a compute: its config keys host/token/cluster_id first, then the
// DATABRICKS_HOST/DATABRICKS_TOKEN/DATABRICKS_CLUSTER_ID variables, then the profile (the
// config's "profile", else DATABRICKS_CONFIG_PROFILE, else DEFAULT) of DATABRICKS_CONFIG_FILE or
// ~/.databrickscfg. A token from the environment or a profile is kept only when the host that came
// with it (DATABRICKS_HOST, the profile's host) is the compute's host; else token_withheld says
// why.
DatabricksCredentials resolve_databricks_credentials(
    const std::map<std::string, std::string, std::less<>>& config, const EnvLookup& env,
    const FileLookup& read_file);

// "scheme://name:port" of a workspace host ("https" and its port when not given, the name in
// lower case, no path), or nothing when the text is no host.
std::optional<std::string> normalised_host(std::string_view host);

// The key = value settings of one [section] of an INI text; later keys win. Linear.
std::map<std::string, std::string, std::less<>> ini_section(std::string_view text,
                                                            std::string_view section);

}  // namespace plo
