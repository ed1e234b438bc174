#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plo {

// The Spark version a Databricks runtime ships ("15.4.x-scala2.12", "15.4" or a databricks-connect
// version such as "15.4.3", whose major.minor names the runtime it targets), by Databricks'
// published table; nothing for a runtime the table does not hold.
std::optional<std::string> databricks_runtime_spark(std::string_view runtime);

// The "major.minor" of a runtime key or version ("15.4.x-scala2.12" -> "15.4"); nothing when it
// does not start with two numbers.
std::optional<std::string> databricks_runtime_line(std::string_view runtime);

}  // namespace plo
