#include "environment/interpreter.h"

#include <stdexcept>

#include "util/environment.h"

namespace plo {

std::string find_interpreter() {
  if (auto chosen = non_empty_env("PLO_PYTHON")) {
    // A bare name is looked up on PATH, as a shell would.
    if (chosen->find('/') == std::string::npos) {
      if (auto found = find_on_path(*chosen)) return *found;
      throw std::runtime_error("PLO_PYTHON names '" + *chosen + "', which is not on PATH");
    }
    if (!is_executable_file(*chosen)) {
      throw std::runtime_error("PLO_PYTHON names '" + *chosen +
                               "', which is not an executable file");
    }
    return *chosen;
  }
  if (auto venv = non_empty_env("VIRTUAL_ENV")) {
    const std::string python = *venv + "/bin/python";
    if (is_executable_file(python)) return python;
  }
  if (auto found = find_on_path("python3")) return *found;
  if (auto found = find_on_path("python")) return *found;
  throw std::runtime_error(
      "no Python interpreter found: install Python 3, or set PLO_PYTHON to the interpreter "
      "whose PySpark plo should manage");
}

std::optional<std::string> stale_virtual_env() {
  if (non_empty_env("PLO_PYTHON")) return std::nullopt;
  const auto venv = non_empty_env("VIRTUAL_ENV");
  if (!venv || is_executable_file(*venv + "/bin/python")) return std::nullopt;
  return venv;
}

}  // namespace plo
