#pragma once

#include <optional>
#include <string>

#include "spark/installer_choice.h"

namespace plo::cli {

// The installer the user asked for: `flag` (--installer), else PLO_INSTALLER, else `installer` in
// the [tool.plo] of the nearest pyproject.toml; nothing asked when none says. Throws
// std::invalid_argument for a PLO_INSTALLER that is neither "pip" nor "uv".
InstallerRequest installer_request(const std::string& flag);

// installer_request, or nothing once "Error: ..." is on standard error (a usage error, exit 2).
std::optional<InstallerRequest> installer_request_or_usage_error(const std::string& flag);

}  // namespace plo::cli
