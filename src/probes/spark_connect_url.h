#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plo {

// A Spark Connect connection string, "sc://HOST[:PORT][/;name=value;...]", taken apart by
// Spark's rules: default port 15002, an empty path, parameters case-sensitive, unknown ones
// ignored.
struct SparkConnectUrl {
  std::string host;  // IPv6 hosts keep their brackets
  int port = 15002;
  bool use_ssl = false;  // the parameter use_ssl=true (any case)
  std::optional<std::string> token;
  std::optional<std::string> user_id;
  std::optional<std::string> session_id;
  std::optional<std::string> user_agent;
};

// The parsed connection string, or nothing with `error` saying what is wrong.
std::optional<SparkConnectUrl> parse_spark_connect_url(std::string_view url, std::string& error);

// Whether plo speaks TLS to the server: with use_ssl=true, and with a token as Spark's own clients
// do ("setting a token implicitly sets use_ssl"), except to a loopback address, where the token
// goes over plain HTTP/2 as Spark's clients send it to "localhost" without TLS.
bool uses_tls(const SparkConnectUrl& url);

// Whether the host is this machine's loopback (localhost, 127.0.0.0/8, ::1), where a token may
// travel without TLS.
bool is_loopback_host(std::string_view host);

}  // namespace plo
