#include "installer_request.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "project/project_file.h"
#include "util/environment.h"
#include "util/escape.h"

namespace plo::cli {

InstallerRequest installer_request(const std::string& flag) {
  if (!flag.empty()) return {flag, "--installer"};
  if (const auto env = non_empty_env("PLO_INSTALLER")) {
    if (*env != "pip" && *env != "uv") {
      throw std::invalid_argument("PLO_INSTALLER must be pip or uv, not '" + escape_controls(*env) +
                                  "'");
    }
    return {*env, "PLO_INSTALLER"};
  }
  std::error_code error;
  const std::filesystem::path here = std::filesystem::current_path(error);
  if (error) return {};
  try {
    const auto file = find_project_file(here, true);
    if (!file) return {};
    const auto spec = read_project(*file);
    if (spec && spec->installer) return {*spec->installer, "[tool.plo] in " + file->string()};
  } catch (const std::exception&) {
    // A project file that cannot be read is check's and sync's to report; here it asks nothing.
  }
  return {};
}

std::optional<InstallerRequest> installer_request_or_usage_error(const std::string& flag) {
  try {
    return installer_request(flag);
  } catch (const std::invalid_argument& e) {
    std::fputs(("Error: " + std::string(e.what()) + "\n").c_str(), stderr);
    return std::nullopt;
  }
}

}  // namespace plo::cli
