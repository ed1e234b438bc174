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

}  // namespace plo
