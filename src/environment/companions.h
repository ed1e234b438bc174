#pragma once

#include <optional>
#include <string>
#include <vector>

#include "catalogue/companions.h"

namespace plo {

// What the import path holds beside PySpark, from the metadata files of its distributions (no
// child process): the first distribution of each name, as import and `pip check` see them.
// `markers` are the interpreter's marker values (marker_environment).
InstalledBeside find_companions(const std::vector<std::string>& import_path,
                                MarkerEnvironment markers);

// PEP 508's marker values for an interpreter of `python_version` ("3.11.7") on this machine:
// python_version, python_full_version, os_name, sys_platform, the platform_* values from uname,
// and the implementation (CPython). The Python ones are left out where the version is unknown.
MarkerEnvironment marker_environment(const std::optional<std::string>& python_version);

}  // namespace plo
