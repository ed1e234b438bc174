#include "spark/installer_choice.h"

#include <filesystem>

#include "util/environment.h"

namespace plo {
namespace {

std::string settings_text(const std::vector<PipSetting>& settings) {
  std::string text;
  for (const PipSetting& s : settings) {
    if (!text.empty()) text += ", ";
    text += s.name + " (" + s.where + ")";
  }
  return text;
}

}  // namespace

const char* installer_name(InstallerKind kind) {
  return kind == InstallerKind::Uv ? "uv" : "pip";
}

InstallerFacts installer_facts(const InstallerRequest& asked, const std::string& interpreter,
                               bool has_pip, bool all_pip_settings) {
  InstallerFacts facts{.asked = asked.asked,
                       .asked_by = asked.asked_by,
                       .has_pip = has_pip,
                       .uv = find_on_path("uv"),
                       .pip_settings = {}};
  if (all_pip_settings || asked.asked == "uv") {
    // pip's site configuration file is in sys.prefix, the folder above the interpreter's bin/.
    facts.pip_settings = pip_settings_uv_ignores(
        std::filesystem::path(interpreter).parent_path().parent_path().string());
  }
  return facts;
}

InstallerChoice choose_installer(const InstallerFacts& f) {
  InstallerChoice choice;
  const bool uv_asked = f.asked == "uv";
  if (uv_asked && f.uv && (f.pip_settings.empty() || !f.has_pip)) {
    choice.kind = InstallerKind::Uv;
    choice.uv = *f.uv;
    return choice;
  }
  if (f.has_pip) {
    choice.kind = InstallerKind::Pip;
    if (uv_asked && !f.uv) {
      choice.note = "plo: using pip, not uv (asked by " + f.asked_by + "): uv is not on PATH";
    } else if (uv_asked) {
      choice.note = "plo: using pip, not uv (asked by " + f.asked_by +
                    "): uv would ignore pip's settings " + settings_text(f.pip_settings);
    }
    return choice;
  }
  if (f.uv && f.asked != "pip") {
    choice.kind = InstallerKind::Uv;
    choice.uv = *f.uv;
    return choice;
  }
  choice.refusal = f.asked == "pip" ? "pip is not available (asked by " + f.asked_by + ")"
                                    : "pip is not available";
  return choice;
}

}  // namespace plo
