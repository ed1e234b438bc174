#include "spark/switch_plan.h"

#include <filesystem>

#include "spark/pyspark_stash.h"
#include "util/text.h"

namespace plo {
namespace {

InstallRefusal externally_managed(const std::string& interpreter) {
  return {interpreter +
              " is externally managed (PEP 668): its packages belong to the system's package "
              "manager, so pip will not change them",
          {"Use a virtual environment instead:", "  python3 -m venv ~/venvs/spark",
           "  . ~/venvs/spark/bin/activate", "  plo spark set-version"}};
}

InstallRefusal no_installer(const std::string& interpreter) {
  return {"pip is not available for " + interpreter,
          {"Add pip to it:  " + shell_quoted(interpreter) + " -m ensurepip",
           "or install uv (https://docs.astral.sh/uv/), which plo then uses instead of pip"}};
}

}  // namespace

std::optional<InstallRefusal> shared_interpreter_refusal(const SwitchFound& found,
                                                         const SwitchAsked& asked) {
  const EnvironmentProbe& e = found.environment;
  if (asked.system || e.in_virtual_env || e.conda) return std::nullopt;
  if (e.externally_managed && !found.breaks_system_packages) return std::nullopt;
  // As uv asks: --yes alone never changes a Python every other program uses.
  return InstallRefusal{found.interpreter +
                            " is not a virtual or conda environment: plo changes it only with "
                            "--system",
                        {"Use a virtual environment instead:", "  python3 -m venv ~/venvs/spark",
                         "  . ~/venvs/spark/bin/activate", "  plo spark set-version",
                         "or add --system to change this Python for every program that uses it"}};
}

SwitchDecision plan_switch(const SwitchFound& found, const SwitchAsked& asked) {
  const EnvironmentProbe& e = found.environment;
  if (e.externally_managed && !e.in_virtual_env && !found.breaks_system_packages) {
    return externally_managed(found.interpreter);
  }
  if (auto refusal = shared_interpreter_refusal(found, asked)) return *refusal;
  if (auto refusal = install_refusal(e, found.interpreter, found.current, asked.version))
    return *refusal;
  const InstallerChoice choice = choose_installer({.asked = asked.installer.asked,
                                                   .asked_by = asked.installer.asked_by,
                                                   .has_pip = e.has_pip,
                                                   .uv = found.uv,
                                                   .pip_settings = found.pip_settings});
  if (!choice.kind) return no_installer(found.interpreter);

  SwitchPlan plan{
      .interpreter = found.interpreter,
      .package = asked.package,
      .to = asked.version,
      .major_minor = asked.major_minor,
      .supported = asked.supported,
      .from = found.current,
      .installer = *choice.kind,
      .uv = choice.uv,
      .installer_note = choice.note,
      .verify = asked.package == "pyspark-client" ? VerifyBy::ImportCheck : VerifyBy::SmokeTest,
      .companions = asked.companions,
      .project = asked.project};
  // The copy lives beside the dist-info, on the same filesystem, so that it can be made of
  // hard links and moved back by renames.
  if (found.current && e.dist_info && !e.files.empty()) {
    plan.keep_folder =
        (std::filesystem::path(*e.dist_info).parent_path() / PySparkStash::kFolderName).string();
    plan.keep_files = e.files;
    plan.keep_files.insert(plan.keep_files.end(), found.companion_files.begin(),
                           found.companion_files.end());
  }
  return plan;
}

}  // namespace plo
