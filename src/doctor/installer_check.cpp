#include <fmt/format.h>

#include <stdexcept>
#include <string>

#include "doctor/doctor_facts.h"
#include "util/escape.h"
#include "util/text.h"

namespace plo {
namespace {

// A PySpark switch's install alone, `uv pip install` against `pip install` (PySpark 4.3.0 <->
// 3.5.9, warm caches, medians of six), as bench/switch_speed.py measured it on the 2-core
// development machine on 2026-12-09; the README quotes the same run ("What a switch costs against
// its floor"). Measure again and change both together.
constexpr double kUvInstallSeconds = 0.07;
constexpr double kPipInstallSeconds = 5.50;

std::string settings_text(const std::vector<PipSetting>& settings) {
  std::string text;
  for (const PipSetting& s : settings) {
    if (!text.empty()) text += ", ";
    text += s.name + " (" + escape_controls(s.where) + ")";
  }
  return text;
}

std::string asked_text(const InstallerOutlook& o) {
  return "asked by " + escape_controls(o.asked_by);
}

}  // namespace

void check_installer(DoctorFacts& facts, DoctorCheck& check) {
  if (!facts.s.installer) {
    check.summary = "not looked at";
    return;
  }
  InstallerOutlook o;
  try {
    o = facts.s.installer();
  } catch (const std::invalid_argument& e) {
    // Only the commands that change PySpark refuse it; nothing else depends on it.
    check.summary = "PLO_INSTALLER names no installer";
    check.raise(CheckStatus::Warning,
                std::string(e.what()) + ": set-version, sync and the other switches refuse to run");
    check.fix = "unset PLO_INSTALLER";
    return;
  }
  if (!o.chosen) {
    check.summary = "none: this interpreter has no pip";
    check.raise(CheckStatus::Warning,
                o.uv_on_path ? "uv is on PATH, but pip is " + asked_text(o)
                             : "uv is not on PATH either: no PySpark can be installed here");
    check.fix = shell_quoted(facts.interpreter()) + " -m ensurepip";
    return;
  }
  if (*o.chosen == "uv") {
    check.summary =
        o.asked == "uv" ? "uv (" + asked_text(o) + ")" : "uv (this environment has no pip)";
    return;
  }
  if (o.asked == "uv") {
    // Asked for, not used: say why rather than suggest it again.
    check.summary = "pip, not uv (" + asked_text(o) + ")";
    if (!o.uv_on_path) {
      check.details.push_back("uv is not on PATH");
    } else {
      check.details.push_back("pip's settings " + settings_text(o.pip_settings) +
                              " say where packages come from, and uv would ignore them: switches "
                              "keep pip so that they install what pip would");
    }
    return;
  }
  check.summary = o.asked ? "pip (" + asked_text(o) + ")" : "pip (plo's default)";
  if (o.asked || !o.uv_on_path) return;
  if (!o.pip_settings.empty()) {
    check.details.push_back("uv is on PATH, but pip's settings " + settings_text(o.pip_settings) +
                            " say where packages come from, and uv would ignore them: switches "
                            "would keep pip even with uv asked for");
    return;
  }
  check.details.push_back(fmt::format(
      "uv is on PATH: a PySpark switch's install took {:.2f} s with uv against {:.2f} s "
      "with pip (bench/switch_speed.py); the smoke test after it is the same",
      kUvInstallSeconds, kPipInstallSeconds));
  check.suggestion = "export PLO_INSTALLER=uv   # or installer = \"uv\" in [tool.plo]";
}

}  // namespace plo
