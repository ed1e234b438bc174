#pragma once

#include <nlohmann/json_fwd.hpp>

namespace plo::cli {

// Says on standard error which interpreter the command works on and what chose it
// ("Interpreter: /p/.venv/bin/python, from project .venv (/p/pyproject.toml)"); nothing with -q,
// where PLO_PYTHON named it, and where none is found (the command itself says so).
void tell_interpreter();

// Sets a document's "interpreter" and "interpreter_source" (null when none is found).
void add_interpreter_fields(nlohmann::ordered_json& document);

}  // namespace plo::cli
