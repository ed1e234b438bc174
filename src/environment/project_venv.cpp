// toml++ header-only, as in the project layer: this file reads only [tool.uv.workspace].
#define TOML_HEADER_ONLY 1
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

#include <fnmatch.h>

#include <system_error>

#include "environment/project_venv.h"
#include "util/text_file.h"

namespace plo {
namespace {

namespace fs = std::filesystem;

// pyproject.toml files are small; a larger one is not a project file plo reads.
constexpr size_t kMaxPyprojectBytes = 1 << 20;

// Whether any of a TOML array's strings, as a glob over whole path segments, matches `path`.
bool any_glob_matches(const toml::node* globs, const std::string& path) {
  const toml::array* list = globs ? globs->as_array() : nullptr;
  if (!list) return false;
  for (const toml::node& glob : *list) {
    const auto text = glob.value<std::string>();
    if (!text) continue;
    std::string pattern = fs::path(*text).lexically_normal().string();
    while (pattern.size() > 1 && pattern.back() == '/') pattern.pop_back();
    if (::fnmatch(pattern.c_str(), path.c_str(), FNM_PATHNAME) == 0) return true;
  }
  return false;
}

std::optional<std::string> read_pyproject(const fs::path& file) {
  std::error_code error;
  if (!fs::is_regular_file(file, error)) return std::nullopt;
  FileContents contents = read_regular_file(file, kMaxPyprojectBytes);
  if (contents.status != FileContents::Status::Ok) return std::nullopt;
  return std::move(contents.text);
}

}  // namespace

std::optional<bool> workspace_includes(const std::string& pyproject_text,
                                       const std::string& member) {
  toml::table document;
  try {
    document = toml::parse(pyproject_text);
  } catch (const toml::parse_error&) {
    return std::nullopt;
  }
  const toml::table* workspace = document["tool"]["uv"]["workspace"].as_table();
  if (!workspace) return std::nullopt;
  return any_glob_matches(workspace->get("members"), member) &&
         !any_glob_matches(workspace->get("exclude"), member);
}

std::optional<ProjectVenv> project_venv(const fs::path& start,
                                        const std::optional<std::string>& uv_project_environment) {
  std::error_code error;
  fs::path folder = fs::absolute(start, error).lexically_normal();
  if (error) return std::nullopt;
  if (folder.filename().empty()) folder = folder.parent_path();
  // The project: the nearest folder upward with a pyproject.toml.
  std::optional<fs::path> project;
  for (fs::path at = folder;; at = at.parent_path()) {
    if (fs::is_regular_file(at / "pyproject.toml", error)) {
      project = at;
      break;
    }
    if (at.parent_path() == at || at.parent_path().empty()) break;
  }
  if (!project) return std::nullopt;
  // Its workspace: the nearest pyproject.toml above with [tool.uv.workspace]; a member it does
  // not list is a project of its own, as uv treats it.
  fs::path root = *project;
  for (fs::path at = project->parent_path(); !at.empty(); at = at.parent_path()) {
    if (const auto text = read_pyproject(at / "pyproject.toml")) {
      const auto includes =
          workspace_includes(*text, project->lexically_relative(at).generic_string());
      if (includes) {
        if (*includes) root = at;
        break;
      }
    }
    if (at.parent_path() == at) break;
  }
  ProjectVenv venv{.folder = root / ".venv", .pyproject = root / "pyproject.toml"};
  if (uv_project_environment) {
    venv.folder = (root / *uv_project_environment).lexically_normal();  // an absolute one replaces
    venv.from_variable = true;
  }
  return venv;
}

}  // namespace plo
