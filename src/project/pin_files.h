#pragma once

#include <filesystem>

#include "project/project_pins.h"

namespace plo {

// The texts a project's PySpark pins are read from, found from `start`: the nearest
// pyproject.toml and, beside it, uv.lock, poetry.lock and requirements*.txt / constraints*.txt
// (without a pyproject.toml, those of `start` itself); for a uv workspace's member without a lock
// of its own, the workspace root's uv.lock that holds it. Each read is bounded; a file that cannot
// be read is left out.
PinTexts gather_pin_texts(const std::filesystem::path& start);

}  // namespace plo
