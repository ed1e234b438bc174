#pragma once

#include <string>

namespace plo {

// The Python interpreter whose environment plo manages: PLO_PYTHON when set, else the active
// virtual environment's python, else python3 or python on PATH. Throws when there is none.
std::string find_interpreter();

}  // namespace plo
