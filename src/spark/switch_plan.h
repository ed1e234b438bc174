#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "environment/environment_probe.h"
#include "environment/pip_config.h"
#include "project/project_edit.h"
#include "spark/companion_moves.h"
#include "spark/install_plan.h"
#include "spark/installer_choice.h"

namespace plo {

// What a switch finds before it changes anything.
struct SwitchFound {
  std::string interpreter = {};
  EnvironmentProbe environment = {};          // probed with the installed files listed
  std::optional<std::string> current = {};    // the installed PySpark's version
  bool breaks_system_packages = false;        // PIP_BREAK_SYSTEM_PACKAGES is set
  std::optional<std::string> uv = {};         // uv on PATH
  std::vector<PipSetting> pip_settings = {};  // pip's settings uv would ignore (when uv is asked)
  std::vector<std::string> companion_files = {};  // the files of the companions to move
};

// What the user asked for.
struct SwitchAsked {
  std::string version = {};         // as typed, or the catalogue's entry
  std::string major_minor = {};     // its line
  std::vector<int> supported = {};  // the line's Java versions (possibly none)
  std::string package = "pyspark";  // or "pyspark-client" over the Spark Connect client
  InstallerRequest installer = {};
  bool system = false;  // --system: an interpreter outside any environment of its own may change
  std::vector<CompanionMove> companions = {};  // the packages beside PySpark that move with it
  std::optional<ProjectEdit> project = {};     // the project's requirement and lock follow it
};

// How the new version is checked once installed.
enum class VerifyBy { SmokeTest, ImportCheck };

// The steps of one switch, decided before any of them runs: keep a copy of the installed
// PySpark, uninstall it, install the new one, verify it from where import finds it.
struct SwitchPlan {
  std::string interpreter = {};
  std::string package = {};
  std::string to = {};
  std::string major_minor = {};
  std::vector<int> supported = {};
  std::optional<std::string> from;  // the version replaced (and rolled back to), if any
  InstallerKind installer = InstallerKind::Pip;
  std::string uv = {};              // uv's path where the installer is uv
  std::string installer_note = {};  // for standard error: why the installer is not the one asked
  // The copy kept while PySpark is replaced: its folder and the files it holds.
  std::optional<std::string> keep_folder = {};
  std::vector<std::string> keep_files = {};
  VerifyBy verify = VerifyBy::SmokeTest;
  // Installed with PySpark, kept with it, checked (`pip check`) after it and moved back with it.
  std::vector<CompanionMove> companions = {};
  // Run by the project's own tool before PySpark changes; its files are kept and put back
  // whenever the new version does not stay.
  std::optional<ProjectEdit> project = {};
};

// A plan, or why nothing may change.
using SwitchDecision = std::variant<SwitchPlan, InstallRefusal>;

// The plan for `asked` over what was `found`, or the refusal: an externally managed Python, a
// PySpark the installer cannot own or that another copy shadows, no installer that can run.
// Pure: it reads only its arguments.
SwitchDecision plan_switch(const SwitchFound& found, const SwitchAsked& asked);

// The refusal of a change to an interpreter that other programs share (no virtual or conda
// environment, and not one pip refuses anyway) unless --system asks for it; nothing otherwise.
std::optional<InstallRefusal> shared_interpreter_refusal(const SwitchFound& found,
                                                         const SwitchAsked& asked);

}  // namespace plo
