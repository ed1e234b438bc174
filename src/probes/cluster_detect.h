#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "probes/http_client.h"

namespace plo {

// The Spark version of a standalone cluster. Every host of the master URL is asked at once, on its
// REST submission server (6066) and its web UI (8080); the first host in the URL's order that
// tells its version wins, once every host before it has failed to. The whole search ends within
// `budget`.
std::optional<std::string> detect_cluster_version(
    std::string_view master_url, HttpClient& http,
    std::chrono::milliseconds budget = std::chrono::milliseconds(9000));

}  // namespace plo
