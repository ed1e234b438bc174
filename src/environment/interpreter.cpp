#include "environment/interpreter.h"

#include <stdexcept>
#include <system_error>

#include "environment/project_venv.h"
#include "util/environment.h"

namespace plo {
namespace {

namespace fs = std::filesystem;

// The environment's interpreter when `root` holds one.
std::optional<std::string> python_in(const fs::path& root) {
  const std::string python = (root / "bin" / "python").string();
  if (is_executable_file(python)) return python;
  return std::nullopt;
}

// A `.venv` holding pyvenv.cfg in `start` or the nearest folder above it that has one.
std::optional<fs::path> nearest_dot_venv(const fs::path& start) {
  std::error_code error;
  fs::path folder = fs::absolute(start, error).lexically_normal();
  if (error) return std::nullopt;
  if (folder.filename().empty()) folder = folder.parent_path();
  for (;; folder = folder.parent_path()) {
    if (fs::is_regular_file(folder / ".venv" / "pyvenv.cfg", error)) return folder / ".venv";
    if (folder.parent_path() == folder || folder.parent_path().empty()) return std::nullopt;
  }
}

}  // namespace

InterpreterChoice choose_interpreter(const InterpreterLookup& lookup) {
  if (auto chosen = lookup.env("PLO_PYTHON")) {
    // A bare name is looked up on PATH, as a shell would.
    if (chosen->find('/') == std::string::npos) {
      if (auto found = find_on_path_in(lookup.env("PATH"), *chosen)) return {*found, "PLO_PYTHON"};
      throw std::runtime_error("PLO_PYTHON names '" + *chosen + "', which is not on PATH");
    }
    if (!is_executable_file(*chosen)) {
      throw std::runtime_error("PLO_PYTHON names '" + *chosen +
                               "', which is not an executable file");
    }
    return {*chosen, "PLO_PYTHON"};
  }
  for (const char* variable : {"VIRTUAL_ENV", "CONDA_PREFIX"}) {
    if (const auto root = lookup.env(variable)) {
      if (auto python = python_in(*root)) return {*python, variable};
    }
  }
  if (const auto project = project_venv(lookup.cwd, lookup.env("UV_PROJECT_ENVIRONMENT"))) {
    if (auto python = python_in(project->folder)) {
      return {*python, project->from_variable
                           ? std::string("UV_PROJECT_ENVIRONMENT")
                           : "project .venv (" + project->pyproject.string() + ")"};
    }
  }
  if (const auto venv = nearest_dot_venv(lookup.cwd)) {
    if (auto python = python_in(*venv)) return {*python, ".venv (" + venv->string() + ")"};
  }
  for (const char* name : {"python3", "python"}) {
    if (auto found = find_on_path_in(lookup.env("PATH"), name)) return {*found, "PATH"};
  }
  throw std::runtime_error(
      "no Python interpreter found: install Python 3, or set PLO_PYTHON to the interpreter "
      "whose PySpark plo should manage");
}

const InterpreterChoice& chosen_interpreter() {
  // The variables and the folder do not change during a run; a failure is asked again, so that
  // every caller reports it.
  static std::optional<InterpreterChoice> chosen;
  if (!chosen) {
    std::error_code error;
    chosen = choose_interpreter({.env = non_empty_env, .cwd = fs::current_path(error)});
  }
  return *chosen;
}

std::string find_interpreter() {
  return chosen_interpreter().path;
}

std::optional<std::string> stale_virtual_env() {
  if (non_empty_env("PLO_PYTHON")) return std::nullopt;
  const auto venv = non_empty_env("VIRTUAL_ENV");
  if (!venv || is_executable_file(*venv + "/bin/python")) return std::nullopt;
  return venv;
}

}  // namespace plo
