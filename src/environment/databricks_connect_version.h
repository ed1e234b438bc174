#pragma once

#include <optional>
#include <string>

#include "process/process_runner.h"

namespace plo {

// The version of the databricks-connect package installed in the interpreter's environment, or
// nothing when it is not installed (or the interpreter does not answer within 2 seconds).
std::optional<std::string> installed_databricks_connect_version(ProcessRunner& runner,
                                                                const std::string& interpreter);

}  // namespace plo
