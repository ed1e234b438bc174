#pragma once

#include <optional>
#include <string>
#include <vector>

#include "catalogue/requirements.h"
#include "project/project_pins.h"

namespace plo {

// What [tool.plo] asks of PySpark, as written and as resolved on the catalogue.
struct PloWanted {
  std::string as_written = {};  // "4.0" or "3.5.3"
  std::string version = {};     // the version it comes to ("4.0.1")
  bool exact = false;           // only that version, not any of its line
};

// A project's pins that disagree with [tool.plo] or with the installed PySpark, and the fix.
struct PinConflict {
  std::string problem = {};  // "pyproject.toml:7 ([project].dependencies) pins pyspark==3.5.9, ..."
  std::string fix = {};      // a command, or the edit to make in a file plo does not rewrite
  std::string file = {};     // the pin's file and line
  int line = 0;
};

// "pyproject.toml:7 ([project].dependencies)", "uv.lock:12", "requirements.txt:3".
std::string pin_place(const ProjectPin& pin);

// The conflicts: each pin that applies (its marker does not evaluate false in `markers`) against
// [tool.plo] (a line admits an exact pin of that line), then against the installed version (a
// lock that locks another, a requirement that excludes it; a pin already against [tool.plo] is
// not told twice).
std::vector<PinConflict> pin_conflicts(const std::vector<ProjectPin>& pins,
                                       const std::optional<PloWanted>& plo,
                                       const std::optional<std::string>& installed,
                                       const MarkerEnvironment& markers);

// The one version the applying pins name exactly (== requirements and locks that all agree), or
// nothing: none, several, or a pin that excludes it.
std::optional<std::string> sole_pinned_version(const std::vector<ProjectPin>& pins,
                                               const MarkerEnvironment& markers);

// Why `plo pin --pyspark` must not write `wanted` into [tool.plo]: the lines that name the uv or
// Poetry requirement or lock it contradicts, and the commands that change both; nothing where
// none does.
std::optional<std::vector<std::string>> pin_command_refusal(const std::vector<ProjectPin>& pins,
                                                            const PloWanted& wanted,
                                                            const MarkerEnvironment& markers);

// The command that changes a uv or Poetry project's requirement and lock to `version`
// (`uv add "pyspark==V"`, `poetry add pyspark==V`), or nothing for the other pins.
std::optional<std::string> tool_command(const ProjectPin& pin, const std::string& version);

}  // namespace plo
