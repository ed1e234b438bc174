#include <algorithm>

#include "probes/master_probe.h"
#include "probes/master_url.h"

namespace plo {

std::optional<std::vector<MasterAddress>> parse_master_addresses(std::string_view master_url) {
  const auto hosts = parse_master_hosts(master_url);  // validates every item
  if (!hosts) return std::nullopt;
  std::string_view list = master_url.substr(std::string_view("spark://").size());
  while (list.ends_with('/')) list.remove_suffix(1);
  std::vector<MasterAddress> masters;
  for (const std::string& host : *hosts) {
    const auto comma = list.find(',');
    const std::string_view item = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    MasterAddress address{host, 7077};
    const std::string_view rest = item.substr(host.size());
    if (rest.starts_with(':')) {
      int port = 0;
      for (const char c : rest.substr(1)) port = port * 10 + (c - '0');
      if (port < 1 || port > 65535) return std::nullopt;
      address.port = port;
    }
    masters.push_back(std::move(address));
  }
  return masters;
}

}  // namespace plo
