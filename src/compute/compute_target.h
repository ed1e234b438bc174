#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plo {

// Why a master URL cannot be used (not spark://, sc:// or a local master, or malformed), or
// nothing when it can.
std::optional<std::string> master_url_problem(std::string_view master);

// Why a --host value is not a host name (optionally with http(s):// and a port), or nothing.
std::optional<std::string> host_problem(std::string_view host);

}  // namespace plo
