#include "spark/install_plan.h"

#include <filesystem>

#include "util/text.h"

namespace plo {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kAgain = "then run 'plo spark set-version' again";

// The installed PySpark when pip cannot own it.
std::optional<InstallRefusal> unowned(const EnvironmentProbe& found, const std::string& python,
                                      const std::string& version, const std::string& wanted) {
  if (!found.package) return std::nullopt;
  const std::string folder = fs::path(*found.package).parent_path().string();
  const std::string head = "PySpark " + version + " ";
  using Origin = EnvironmentProbe::Origin;
  if (found.editable && !found.dist_info) {
    // pip's uninstall of an editable install leaves the source folder alone.
    return InstallRefusal{
        head + "in " + folder +
            " is an editable install (pip install -e): plo does not replace "
            "a source folder",
        {"Run '" + python + " -m pip uninstall pyspark' first (your source folder stays), " +
         std::string(kAgain)}};
  }
  if (found.conda_owned && found.dist_info) {
    // pip would replace conda's files and leave conda's record of them wrong.
    return InstallRefusal{
        head + "in " + folder + " was installed by conda: pip would change it behind conda's back",
        {"Switch it with conda:  conda install \"pyspark=" +
             (wanted.empty() ? std::string("X.Y.Z") : wanted) + "\"",
         "or remove it first:  conda remove pyspark, " + std::string(kAgain)}};
  }
  if (found.origin == Origin::PythonPath) {
    return InstallRefusal{
        head + "comes from " + folder + ", which PYTHONPATH names: pip cannot replace it",
        {"Remove that entry from PYTHONPATH first, " + std::string(kAgain)}};
  }
  if (found.origin == Origin::CurrentFolder) {
    return InstallRefusal{
        head + "comes from the current folder (" + folder + "): pip cannot replace it",
        {"Run plo from another folder"}};
  }
  if (!found.dist_info) {
    return InstallRefusal{head + "in " + *found.package +
                              " was not installed by pip (it has no dist-info): pip cannot "
                              "replace it",
                          {"Remove that folder, or use another Python environment"}};
  }
  return std::nullopt;
}

// A pyspark that import reaches before the folder pip installs into: what was installed would
// never be imported.
std::optional<InstallRefusal> shadowed(const EnvironmentProbe& found, const std::string& python) {
  if (found.shadowing_folders.empty() || !found.install_to) return std::nullopt;
  const std::string& first = found.shadowing_folders.front();
  InstallRefusal refusal{"PySpark in " + first + " comes before " + *found.install_to +
                             " on the import path: what pip installs there would not be imported",
                         {"Remove that copy first, " + std::string(kAgain) + ":"}};
  if (found.user_site && first == *found.user_site) {
    if (found.in_virtual_env) {
      // pip has no `uninstall --user`: the interpreter that owns that user site removes it.
      const std::string base = found.base_python ? shell_quoted(*found.base_python) : "python3";
      refusal.mend.push_back("  " + base +
                             " -m pip uninstall pyspark   (outside the virtual "
                             "environment, whose user site it is)");
    } else {
      refusal.mend.push_back("  " + python + " -m pip uninstall pyspark");
    }
  } else {
    refusal.mend.push_back("  take " + first +
                           " off the import path (PYTHONPATH, or the .pth file that adds it)");
  }
  return refusal;
}

}  // namespace

std::optional<InstallRefusal> install_refusal(const EnvironmentProbe& found,
                                              const std::string& interpreter,
                                              const std::optional<std::string>& current_version,
                                              const std::string& wanted) {
  const std::string python = shell_quoted(interpreter);
  if (current_version) {
    if (auto refusal = unowned(found, python, *current_version, wanted)) return refusal;
  }
  return shadowed(found, python);
}

}  // namespace plo
