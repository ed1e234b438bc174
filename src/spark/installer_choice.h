#pragma once

#include <optional>
#include <string>
#include <vector>

#include "environment/pip_config.h"

namespace plo {

// The installer a switch runs: the interpreter's pip, or uv's pip interface (`uv pip ...
// --python INTERPRETER`).
enum class InstallerKind { Pip, Uv };

// The installer the user asked for, and where: "--installer", "PLO_INSTALLER" or the project file.
struct InstallerRequest {
  std::optional<std::string> asked;  // "pip" or "uv"; nothing: plo's default
  std::string asked_by;
};

// What the installer is chosen from.
struct InstallerFacts {
  std::optional<std::string> asked;  // "pip" or "uv": --installer, PLO_INSTALLER or [tool.plo]
  std::string asked_by;              // where `asked` came from: "--installer", "PLO_INSTALLER", ...
  bool has_pip = false;              // the interpreter can run `-m pip`
  std::optional<std::string> uv;     // uv's path on PATH, if any
  std::vector<PipSetting> pip_settings;  // what uv would ignore (pip_settings_uv_ignores)
};

// The choice, or why there is none.
struct InstallerChoice {
  std::optional<InstallerKind> kind;  // nothing: neither can run (`refusal` says why)
  std::string uv;                     // uv's path when kind is Uv
  // A line for standard error when the choice is not what was asked ("plo: using pip, not uv:
  // ..."); empty otherwise.
  std::string note;
  std::string refusal;
};

// pip unless uv is asked for (or pip is missing and uv is there); uv is not used where the user's
// pip configuration names where packages come from, since uv would ignore it.
InstallerChoice choose_installer(const InstallerFacts& facts);

// The facts a switch of `interpreter` chooses from, `has_pip` as its environment probe found it:
// uv from PATH, and pip's settings of the environment whose bin/ holds `interpreter` (its
// sys.prefix), read only where uv is asked for unless `all_pip_settings`. The install phase's own
// choice is made on the same inputs.
InstallerFacts installer_facts(const InstallerRequest& asked, const std::string& interpreter,
                               bool has_pip, bool all_pip_settings = false);

// "pip" or "uv", for JSON and messages.
const char* installer_name(InstallerKind kind);

}  // namespace plo
