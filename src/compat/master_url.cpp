#include "compat/master_url.h"

#include <algorithm>

namespace plo {
namespace {

bool is_name_char(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
         c == '.' || c == '_';
}

bool is_ipv6_char(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
         c == '.';
}

bool is_port(std::string_view text) {
  return !text.empty() && text.size() <= 5 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// One "HOST[:PORT]" item; the host as it goes into an http URL.
std::optional<std::string> parse_host(std::string_view item) {
  std::string_view host;
  std::string_view rest;
  if (item.starts_with('[')) {
    const auto close = item.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    const std::string_view address = item.substr(1, close - 1);
    if (address.empty() || !std::all_of(address.begin(), address.end(), is_ipv6_char)) {
      return std::nullopt;
    }
    host = item.substr(0, close + 1);
    rest = item.substr(close + 1);
  } else {
    const auto colon = item.find(':');
    host = item.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view() : item.substr(colon);
    if (host.empty() || !std::all_of(host.begin(), host.end(), is_name_char)) return std::nullopt;
  }
  if (!rest.empty() && !(rest.front() == ':' && is_port(rest.substr(1)))) return std::nullopt;
  return std::string(host);
}

}  // namespace

std::optional<std::vector<std::string>> parse_master_hosts(std::string_view master_url) {
  constexpr std::string_view scheme = "spark://";
  if (!master_url.starts_with(scheme)) return std::nullopt;
  std::string_view list = master_url.substr(scheme.size());
  // A trailing slash is harmless: spark://host:7077/
  while (list.ends_with('/')) list.remove_suffix(1);
  std::vector<std::string> hosts;
  for (;;) {
    const auto comma = list.find(',');
    auto host = parse_host(list.substr(0, comma));
    if (!host) return std::nullopt;
    hosts.push_back(std::move(*host));
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return hosts;
}

}  // namespace plo
