#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plo {

// The version in a master's REST submission server answer: its "serverSparkVersion".
std::optional<std::string> parse_rest_version(std::string_view body);

// The version in a master's web UI page: the text of the first <span> whose class attribute
// holds the token "version".
std::optional<std::string> parse_web_ui_version(std::string_view html);

}  // namespace plo
