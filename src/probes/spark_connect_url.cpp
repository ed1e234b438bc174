#include "probes/spark_connect_url.h"

#include <algorithm>

#include "probes/master_url.h"
#include "util/text.h"

namespace plo {
namespace {

std::optional<int> parse_port(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int port = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + (c - '0');
  }
  if (port < 1 || port > 65535) return std::nullopt;
  return port;
}

}  // namespace

std::optional<SparkConnectUrl> parse_spark_connect_url(std::string_view url, std::string& error) {
  constexpr std::string_view scheme = "sc://";
  if (!url.starts_with(scheme)) {
    error = "a Spark Connect URL begins with sc://";
    return std::nullopt;
  }
  std::string_view rest = url.substr(scheme.size());
  const auto slash = rest.find('/');
  const std::string_view netloc = rest.substr(0, slash);
  const std::string_view path = slash == std::string_view::npos ? "" : rest.substr(slash);

  SparkConnectUrl parsed;
  std::string_view port_text;
  if (netloc.starts_with('[')) {
    const auto close = netloc.find(']');
    if (close == std::string_view::npos || close == 1 ||
        !std::all_of(netloc.begin() + 1, netloc.begin() + static_cast<long>(close), is_ipv6_char)) {
      error = "the host is not a valid IPv6 address";
      return std::nullopt;
    }
    parsed.host = std::string(netloc.substr(0, close + 1));
    const std::string_view after = netloc.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') {
        error = "the host is not a valid IPv6 address";
        return std::nullopt;
      }
      port_text = after.substr(1);
      if (port_text.empty()) port_text = "x";  // "[::1]:" has no port
    }
  } else {
    const auto colon = netloc.find(':');
    parsed.host = std::string(netloc.substr(0, colon));
    if (colon != std::string_view::npos) {
      port_text = netloc.substr(colon + 1);
      if (port_text.empty() || port_text.find(':') != std::string_view::npos) port_text = "x";
    }
    if (parsed.host.empty() || !std::all_of(parsed.host.begin(), parsed.host.end(), is_name_char)) {
      error = "the host is missing or holds characters no host name has";
      return std::nullopt;
    }
  }
  if (!port_text.empty()) {
    const auto port = parse_port(port_text);
    if (!port) {
      error = "the port is not a number from 1 to 65535";
      return std::nullopt;
    }
    parsed.port = *port;
  }

  if (!path.empty() && path != "/") {
    if (!path.starts_with("/;")) {
      error = "the path must be empty; parameters follow \"/;\"";
      return std::nullopt;
    }
    std::string_view params = path.substr(2);
    while (!params.empty()) {
      const auto semi = params.find(';');
      const std::string_view item = params.substr(0, semi);
      params = semi == std::string_view::npos ? std::string_view() : params.substr(semi + 1);
      if (item.empty()) continue;
      if (std::any_of(item.begin(), item.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
        // Parameters become request headers: a CR or LF would start a header of its own.
        error = "a parameter holds a control character (CR, LF, NUL, ...)";
        return std::nullopt;
      }
      const auto eq = item.find('=');
      if (eq == std::string_view::npos || item.find('=', eq + 1) != std::string_view::npos) {
        error = "a parameter is not a name=value pair";
        return std::nullopt;
      }
      const std::string_view name = item.substr(0, eq);
      const std::string value(item.substr(eq + 1));
      if (name == "use_ssl") {
        parsed.use_ssl = to_lower(value) == "true";
      } else if (name == "token") {
        parsed.token = value;
      } else if (name == "user_id") {
        parsed.user_id = value;
      } else if (name == "session_id") {
        parsed.session_id = value;
      } else if (name == "user_agent") {
        parsed.user_agent = value;
      }
    }
  }
  return parsed;
}

bool uses_tls(const SparkConnectUrl& url) {
  return url.use_ssl || (url.token && !is_loopback_host(url.host));
}

bool is_loopback_host(std::string_view host) {
  if (to_lower(host) == "localhost" || host == "[::1]" || host == "::1") return true;
  if (!host.starts_with("127.")) return false;
  int parts = 0;
  while (!host.empty()) {
    const auto dot = host.find('.');
    const std::string_view part = host.substr(0, dot);
    if (part.empty() || part.size() > 3 ||
        !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        std::stoi(std::string(part)) > 255) {
      return false;
    }
    ++parts;
    host = dot == std::string_view::npos ? std::string_view() : host.substr(dot + 1);
  }
  return parts == 4;
}

}  // namespace plo
