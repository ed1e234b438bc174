#pragma once

#include <optional>
#include <string>

namespace plo {

// The Python interpreter whose environment plo manages: PLO_PYTHON when set, else the active
// virtual environment's python, else python3 or python on PATH. Throws when there is none.
std::string find_interpreter();

// The folder VIRTUAL_ENV names when it holds no bin/python (an environment deleted or moved since
// it was activated) and PLO_PYTHON does not choose instead; find_interpreter then looks on PATH,
// which is not what the user meant.
std::optional<std::string> stale_virtual_env();

}  // namespace plo
