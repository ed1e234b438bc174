#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace plo {

// The interpreter plo manages and why it was chosen.
struct InterpreterChoice {
  std::string path;  // the interpreter executable
  // What chose it: "PLO_PYTHON", "VIRTUAL_ENV", "CONDA_PREFIX",
  // "project .venv (/p/pyproject.toml)", "UV_PROJECT_ENVIRONMENT", ".venv (/p)" or "PATH".
  std::string source;
};

// What the choice reads besides the files: the variables and the current folder.
struct InterpreterLookup {
  std::function<std::optional<std::string>(const char*)> env;  // nothing when unset or empty
  std::filesystem::path cwd;
};

// The interpreter as `uv pip` finds it: PLO_PYTHON, an active virtual environment, an active conda
// environment, the project's environment (project_venv), a .venv in the folder or one above it,
// then python3 (else python) on PATH. Only one holding an executable bin/python is taken. Throws
// when PLO_PYTHON names no interpreter or none is found.
InterpreterChoice choose_interpreter(const InterpreterLookup& lookup);

// choose_interpreter over plo's own variables and current folder, asked once per run.
const InterpreterChoice& chosen_interpreter();

// The executable of chosen_interpreter().
std::string find_interpreter();

// The folder VIRTUAL_ENV names when it holds no bin/python (an environment deleted or moved since
// it was activated) and PLO_PYTHON does not choose instead; the choice then goes on past it,
// which is not what the user meant.
std::optional<std::string> stale_virtual_env();

}  // namespace plo
