#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "probes/databricks_api.h"
#include "probes/databricks_config.h"

namespace plo {

// A query parameter's value percent-encoded (RFC 3986 unreserved characters kept).
std::string percent_encoded(std::string_view text);

// The runtime key of a compute's Databricks cluster ("15.4.x-scala2.12"), asked with clusters/get
// and the credentials resolve_databricks_credentials finds for its `config`, within `time_limit`.
// Nothing when a credential is missing or withheld, the cluster does not answer, or it has no
// runtime (serverless): the caller then says it could not tell.
std::optional<std::string> databricks_cluster_runtime(
    const std::map<std::string, std::string, std::less<>>& config, const EnvLookup& env,
    const FileLookup& read_file, DatabricksApi& api, std::chrono::milliseconds time_limit);

}  // namespace plo
