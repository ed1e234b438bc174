#include "compute/compute_target.h"

#include <algorithm>

#include "probes/master_probe.h"
#include "probes/master_url.h"
#include "probes/spark_connect_url.h"

namespace plo {
namespace {

bool is_digits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::optional<std::string> master_url_problem(std::string_view master) {
  if (master.starts_with("spark://")) {
    if (!parse_master_addresses(master)) {
      return "not a standalone master URL: spark://HOST:PORT or spark://H1:P1,H2:P2";
    }
    return std::nullopt;
  }
  if (master.starts_with("sc://")) {
    std::string error;
    if (!parse_spark_connect_url(master, error)) return "not a Spark Connect URL: " + error;
    return std::nullopt;
  }
  if (is_local_master(master)) return std::nullopt;
  return "a master URL begins with spark:// or sc://, or is local, local[N], local[*]";
}

std::optional<std::string> host_problem(std::string_view host) {
  if (host.starts_with("https://")) {
    host.remove_prefix(8);
  } else if (host.starts_with("http://")) {
    host.remove_prefix(7);
  }
  while (host.ends_with('/')) host.remove_suffix(1);
  const auto colon = host.find(':');
  const std::string_view name = host.substr(0, colon);
  const bool name_ok = !name.empty() && name.size() <= 253 && name.front() != '-' &&
                       name.front() != '.' && std::all_of(name.begin(), name.end(), [](char c) {
                         return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                                (c >= 'A' && c <= 'Z') || c == '-' || c == '.' || c == '_';
                       });
  const bool port_ok = colon == std::string_view::npos ||
                       (is_digits(host.substr(colon + 1)) && host.size() - colon - 1 <= 5);
  if (!name_ok || !port_ok) return "not a host name (like adb-1234.5.azuredatabricks.net)";
  return std::nullopt;
}

}  // namespace plo
