#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace plo {

// The environment a uv project uses, as uv finds it from a folder: the nearest pyproject.toml
// upward, the root of the uv workspace that lists it as a member (else the project itself), and
// there `.venv`, or UV_PROJECT_ENVIRONMENT (absolute, or relative to that root).
struct ProjectVenv {
  std::filesystem::path folder;     // the environment's root; it may not exist
  std::filesystem::path pyproject;  // the pyproject.toml of the project or workspace root
  bool from_variable = false;       // UV_PROJECT_ENVIRONMENT chose the folder
};

// The project environment for `start`, or nothing when no pyproject.toml is above it.
std::optional<ProjectVenv> project_venv(const std::filesystem::path& start,
                                        const std::optional<std::string>& uv_project_environment);

// Whether the text of a pyproject.toml holds a [tool.uv.workspace] whose `members` globs take
// `member` (a folder relative to that file's, "packages/a") and whose `exclude` does not.
// Nothing when the text has no workspace table (or is not TOML).
std::optional<bool> workspace_includes(const std::string& pyproject_text,
                                       const std::string& member);

}  // namespace plo
