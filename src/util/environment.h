#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plo {

// A copy of plo's own environment as "NAME=value" entries.
std::vector<std::string> current_environment();

// `environment` with NAME set to `value`, replacing any earlier value.
std::vector<std::string> with_variable(std::vector<std::string> environment, std::string_view name,
                                       std::string_view value);

// The value of an environment variable, or nothing when it is unset or empty.
std::optional<std::string> non_empty_env(const char* name);

// The first executable file called `name` in the folders of PATH, or nothing.
std::optional<std::string> find_on_path(std::string_view name);

// The first executable file called `name` in the folders of `path` (a PATH value; nothing stands
// for the usual system folders), or nothing.
std::optional<std::string> find_on_path_in(const std::optional<std::string>& path,
                                           std::string_view name);

// Whether `path` names an executable regular file.
bool is_executable_file(const std::string& path);

}  // namespace plo
