#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plo {

// The hosts of a standalone master URL, "spark://HOST:PORT" or the high-availability form
// "spark://H1:P1,H2:P2", in order. IPv6 hosts keep their brackets, ready for an http URL. Nothing
// when the URL is not of that form or a host holds characters no host name has.
std::optional<std::vector<std::string>> parse_master_hosts(std::string_view master_url);

// Whether the master URL is one of Spark's local masters, which run in the driver's own process:
// "local", "local[N]", "local[*]", "local[N,F]", "local[*,F]" and "local-cluster[N,C,M]" (blanks
// allowed around the numbers where Spark allows them). "localhost:7077" is none of these.
bool is_local_master(std::string_view master_url);

// Whether `c` may stand in a host name or IPv4 address (letters, digits, '-', '.', '_').
bool is_name_char(char c);

// Whether `c` may stand in a bracketed IPv6 address (hex digits, ':', '.').
bool is_ipv6_char(char c);

}  // namespace plo
