#pragma once

#include <string>

#include "process/file_lock.h"

namespace plo::cli {

// The lock of the Python environment of `interpreter`, held while plo changes it (set-version,
// `java set`/`unset`): a file at the environment's root, else in plo's cache folder. A second plo
// says "Waiting for another plo working on <env>..." and gives up after a few seconds.
FileLock lock_environment(const std::string& interpreter);

// Before a command that changes the Python environment: refuses a VIRTUAL_ENV that names no
// interpreter (the change would land elsewhere), then takes lock_environment.
FileLock guard_environment_for_change();

// Before a command that only reads: a VIRTUAL_ENV that names no interpreter is a warning.
void warn_if_stale_virtual_env();

// The lock beside the file `computes_path` resolves to (computes.yml.lock beside a link's target),
// held for a read-modify-write of it.
FileLock lock_computes(const std::string& computes_path);

// The lock of a project's pyproject.toml, held for `plo pin`'s read-modify-write of it: a file in
// plo's cache folder (keyed on the resolved path), so that the project's folder gets nothing of
// plo's.
FileLock lock_project_file(const std::string& pyproject_path);

}  // namespace plo::cli
