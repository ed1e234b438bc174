#include "project/pin_conflicts.h"

#include <algorithm>
#include <filesystem>

#include "catalogue/pep440.h"
#include "util/escape.h"

namespace plo {
namespace {

std::string major_minor(const std::string& version) {
  const size_t first = version.find('.');
  if (first == std::string::npos) return version;
  return version.substr(0, version.find_first_not_of("0123456789", first + 1));
}

// Whether [tool.plo]'s wish admits the pin: the pin admits the version it comes to, or (for a
// line) the pin names one version of that line exactly.
bool agrees(const ProjectPin& pin, const PloWanted& plo) {
  if (specifier_admits(pin.specifiers, plo.version, true) == true) return true;
  if (plo.exact) return false;
  const auto exact = exact_version(pin);
  return exact && major_minor(*exact) == plo.as_written;
}

// How to make the pin name `version`: its tool's command, else the edit of its line.
std::string edit_for(const ProjectPin& pin, const std::string& version) {
  if (const auto command = tool_command(pin, version)) return *command;
  const std::string name = std::filesystem::path(pin.file).filename().string();
  return "edit " + escape_controls(pin.file) + " line " + std::to_string(pin.line) +
         ": pyspark==" + version + (name == "pyproject.toml" ? " (plo does not rewrite it)" : "");
}

}  // namespace

std::string pin_place(const ProjectPin& pin) {
  std::string place = escape_controls(pin.file);
  if (pin.line > 0) place += ":" + std::to_string(pin.line);
  if (!pin.where.empty()) place += " (" + pin.where + ")";
  return place;
}

std::optional<std::string> tool_command(const ProjectPin& pin, const std::string& version) {
  if (pin.tool == "uv") return "uv add \"pyspark==" + version + "\"";
  if (pin.tool == "poetry") return "poetry add pyspark==" + version;
  return std::nullopt;
}

std::vector<PinConflict> pin_conflicts(const std::vector<ProjectPin>& pins,
                                       const std::optional<PloWanted>& plo,
                                       const std::optional<std::string>& installed,
                                       const MarkerEnvironment& markers) {
  std::vector<PinConflict> conflicts;
  for (const ProjectPin& pin : pins) {
    if (!pin_applies(pin, markers)) continue;
    const std::string text = escape_controls(pin.text);
    if (plo && !agrees(pin, *plo)) {
      const auto exact = exact_version(pin);
      conflicts.push_back(
          {pin_place(pin) + ": " + text + " contradicts [tool.plo] pyspark = \"" +
               escape_controls(plo->as_written) + "\"",
           edit_for(pin, plo->version) +
               (exact ? ", or plo pin --pyspark " + escape_controls(*exact) : std::string()),
           pin.file, pin.line});
      continue;
    }
    if (!installed) continue;
    if (pin.locked) {
      const auto locked = exact_version(pin);
      if (locked && !same_version(*locked, *installed)) {
        const std::string undo = pin.tool == "uv" ? "the next uv sync or uv run puts it back"
                                                  : "the next poetry install puts it back";
        conflicts.push_back({pin_place(pin) + " locks PySpark " + escape_controls(*locked) +
                                 ", this environment has " + *installed + ": " + undo,
                             "plo spark set-version " + escape_controls(*locked) + ", or " +
                                 edit_for(pin, *installed),
                             pin.file, pin.line});
      }
    } else if (specifier_admits(pin.specifiers, *installed, true) == false) {
      const auto exact = exact_version(pin);
      conflicts.push_back(
          {pin_place(pin) + ": " + text + " excludes the installed PySpark " + *installed,
           (exact ? "plo spark set-version " + escape_controls(*exact) + ", or " : std::string()) +
               edit_for(pin, *installed),
           pin.file, pin.line});
    }
  }
  return conflicts;
}

std::optional<std::vector<std::string>> pin_command_refusal(const std::vector<ProjectPin>& pins,
                                                            const PloWanted& wanted,
                                                            const MarkerEnvironment& markers) {
  std::vector<ProjectPin> managed;
  for (const ProjectPin& pin : pins) {
    if (tool_command(pin, wanted.version)) managed.push_back(pin);
  }
  const auto conflicts = pin_conflicts(managed, wanted, std::nullopt, markers);
  if (conflicts.empty()) return std::nullopt;
  std::vector<std::string> lines = {"pyspark = \"" + escape_controls(wanted.as_written) +
                                    "\" in [tool.plo] would contradict the project's own pins"};
  for (const PinConflict& conflict : conflicts) lines.push_back(conflict.problem);
  const ProjectPin* first = nullptr;
  for (const ProjectPin& pin : managed) {
    if (pin.file == conflicts.front().file && pin.line == conflicts.front().line) first = &pin;
  }
  lines.push_back(
      "Change both: " + *tool_command(first ? *first : managed.front(), wanted.version) +
      ", then plo pin --pyspark " + escape_controls(wanted.as_written));
  return lines;
}

std::optional<std::string> sole_pinned_version(const std::vector<ProjectPin>& pins,
                                               const MarkerEnvironment& markers) {
  std::optional<std::string> sole;
  for (const ProjectPin& pin : pins) {
    if (!pin_applies(pin, markers)) continue;
    const auto exact = exact_version(pin);
    if (!exact || !pep440_key(*exact)) continue;
    if (sole && !same_version(*sole, *exact)) return std::nullopt;
    sole = *exact;
  }
  if (!sole) return std::nullopt;
  // Every other pin must let it in, or the project contradicts itself.
  for (const ProjectPin& pin : pins) {
    if (pin_applies(pin, markers) && specifier_admits(pin.specifiers, *sole, true) == false) {
      return std::nullopt;
    }
  }
  return sole;
}

}  // namespace plo
