#pragma once

#include <optional>
#include <string>
#include <vector>

#include "environment/environment_probe.h"

namespace plo {

// Why plo will not change PySpark in an environment, decided before anything changes: the
// reason (one line) and what the user runs to mend it, each as printed (without indent).
struct InstallRefusal {
  std::string reason;
  std::vector<std::string> mend;
};

// The refusal for what the probe found around `interpreter`, or nothing when set-version may
// replace PySpark there with `wanted`: a PySpark that cannot be owned (editable, installed by
// conda, not installed by pip, on PYTHONPATH, in the current folder) or one that import reaches
// before the folder pip installs into. Pure: it reads only its arguments.
std::optional<InstallRefusal> install_refusal(const EnvironmentProbe& found,
                                              const std::string& interpreter,
                                              const std::optional<std::string>& current_version,
                                              const std::string& wanted = {});

}  // namespace plo
