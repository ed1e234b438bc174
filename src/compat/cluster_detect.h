#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "compat/http_client.h"

namespace plo {

// The Spark version of a standalone cluster: each host of the master URL in turn is asked on its
// REST submission server (6066), then its web UI (8080), until one tells. The whole search ends
// within `budget`.
std::optional<std::string> detect_cluster_version(
    std::string_view master_url, HttpClient& http,
    std::chrono::milliseconds budget = std::chrono::milliseconds(9000));

}  // namespace plo
