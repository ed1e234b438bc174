#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/requirements.h"
#include "project/project_pins.h"

namespace plo {

// What a uv or Poetry project's own tool runs so that its requirement and lock keep a switched
// PySpark (the next `uv sync`, `uv run` or `poetry install` would otherwise put the old one back).
struct ProjectEdit {
  std::string tool = {};                                // "uv" or "poetry"
  std::vector<std::vector<std::string>> commands = {};  // argument lists, run in turn
  std::vector<std::string> shown = {};                  // the same as a user would type them
  std::vector<std::string> files = {};  // what they change: kept, and restored byte for byte
  std::string undone_by = {};           // "uv sync or uv run": what puts the old one back
};

// What the planner reads about the project and the machine.
struct ProjectEditFacts {
  std::vector<ProjectPin> pins = {};           // the project's, as read_project_pins gives them
  MarkerEnvironment markers = {};              // the interpreter's, for the pins' markers
  std::string folder = {};                     // the folder of the project's pyproject.toml
  std::string lock = {};                       // its lock file (uv.lock, poetry.lock); "" for none
  std::vector<std::string> locked_names = {};  // the packages the lock holds, normalised
  bool owns_environment = false;               // the interpreter is the project's environment
  std::optional<std::string> uv = {};          // uv on PATH
  std::optional<std::string> poetry = {};      // poetry on PATH
};

// The edit, or why the switch may not go on, or nothing: the environment is not the project's,
// the project pins no PySpark through uv or Poetry, or its pins and lock already hold `version`.
struct ProjectEditPlan {
  std::optional<ProjectEdit> edit = {};     // also beside a refusal: what --no-project leaves
  std::optional<std::string> refusal = {};  // the project's tool is not on PATH
  std::vector<std::string> mend = {};       // the commands that would do it by hand
};

// The files' names joined for a sentence ("pyproject.toml and uv.lock"), control characters
// escaped.
std::string file_names(const std::vector<std::string>& files);

// The packages a uv.lock or poetry.lock holds ([[package]] names, normalised); none for a text
// that is not TOML.
std::vector<std::string> locked_package_names(const std::string& lock_text);

// The plan for switching the project's environment to PySpark `version` with `companions`
// (name, exact version) moving beside it. Pure.
ProjectEditPlan plan_project_edit(
    const ProjectEditFacts& facts, const std::string& version,
    const std::vector<std::pair<std::string, std::string>>& companions);

}  // namespace plo
