#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "compat/java_compat_service.h"
#include "project/pin_conflicts.h"
#include "project/project_target.h"

namespace plo {

// A project's PySpark pins beside [tool.plo] and where they disagree.
struct PinReport {
  std::vector<ProjectPin> pins;
  std::vector<PinConflict> conflicts;
};

// The marker values the pins are judged in: the interpreter's Python version (when known) and
// this platform's names.
MarkerEnvironment pin_markers(const std::optional<std::string>& python_version);

// The marker values of the interpreter `compat` asks (pin_markers; without its Python version
// where it does not answer).
MarkerEnvironment interpreter_markers(JavaCompatService& compat);

// Gives `spec` the one version the project's pins name exactly as its pyspark, where it names no
// pyspark, compute or runtime; true when it did.
bool take_sole_pin(ProjectSpec& spec, const std::vector<ProjectPin>& pins,
                   const MarkerEnvironment& markers);

// The pins found from `start` against [tool.plo] (where `status` applies) and the installed
// PySpark.
PinReport check_project_pins(JavaCompatService& compat, const std::optional<ProjectStatus>& status,
                             const std::filesystem::path& start);

}  // namespace plo
