#include "probes/master_url.h"

#include <algorithm>

namespace plo {
namespace {

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

bool is_digits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string_view trim_spaces(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The comma-separated items between "[" and the final "]" after `prefix`, or nothing.
std::optional<std::vector<std::string_view>> bracket_items(std::string_view url,
                                                           std::string_view prefix) {
  if (!url.starts_with(prefix) || !url.ends_with(']')) return std::nullopt;
  std::string_view inside = url.substr(prefix.size(), url.size() - prefix.size() - 1);
  std::vector<std::string_view> items;
  for (;;) {
    const auto comma = inside.find(',');
    items.push_back(inside.substr(0, comma));
    if (comma == std::string_view::npos) break;
    inside.remove_prefix(comma + 1);
  }
  return items;
}

}  // namespace

bool is_name_char(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
         c == '.' || c == '_';
}

bool is_ipv6_char(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
         c == '.';
}

bool is_local_master(std::string_view master_url) {
  if (master_url == "local") return true;
  // Spark's own patterns: local\[([0-9]+|\*)\], local\[([0-9]+|\*)\s*,\s*([0-9]+)\] and
  // local-cluster\[\s*([0-9]+)\s*,\s*([0-9]+)\s*,\s*([0-9]+)\s*].
  if (const auto items = bracket_items(master_url, "local[")) {
    const auto threads = [](std::string_view n) { return n == "*" || is_digits(n); };
    if (items->size() == 1) return threads((*items)[0]);
    if (items->size() != 2) return false;
    std::string_view n = (*items)[0], failures = (*items)[1];
    while (!n.empty() && (n.back() == ' ' || n.back() == '\t')) n.remove_suffix(1);
    while (!failures.empty() && (failures.front() == ' ' || failures.front() == '\t')) {
      failures.remove_prefix(1);
    }
    return threads(n) && is_digits(failures);
  }
  if (const auto items = bracket_items(master_url, "local-cluster[")) {
    return items->size() == 3 &&
           std::all_of(items->begin(), items->end(),
                       [](std::string_view item) { return is_digits(trim_spaces(item)); });
  }
  return false;
}

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
