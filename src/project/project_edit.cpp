// toml++ header-only, as in project_file.cpp.
#define TOML_HEADER_ONLY 1
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

#include "project/project_edit.h"

#include <algorithm>
#include <filesystem>

#include "catalogue/pep440.h"
#include "util/escape.h"
#include "util/text.h"

namespace plo {
namespace {

namespace fs = std::filesystem;

// The tool's option that names the pin's section ("--optional=spark", "--group=dev"), none for
// the main dependencies. One word each, so that a name starting with "-" stays a value.
std::vector<std::string> section_flags(const std::string& where) {
  constexpr std::string_view kOptional = "[project.optional-dependencies] ";
  constexpr std::string_view kGroup = "[dependency-groups] ";
  constexpr std::string_view kPoetryGroup = "[tool.poetry.group.";
  constexpr std::string_view kPoetryGroupEnd = ".dependencies]";
  if (where.starts_with(kOptional)) return {"--optional=" + where.substr(kOptional.size())};
  if (where.starts_with(kGroup)) return {"--group=" + where.substr(kGroup.size())};
  if (where.starts_with(kPoetryGroup) && where.ends_with(kPoetryGroupEnd)) {
    return {"--group=" + where.substr(kPoetryGroup.size(),
                                      where.size() - kPoetryGroup.size() - kPoetryGroupEnd.size())};
  }
  if (where == "[tool.poetry.dev-dependencies]") return {"--group=dev"};
  return {};
}

// "pyspark[sql]==V", keeping the pin's extras.
std::string requirement_for(const ProjectPin* pin, const std::string& version) {
  std::string extras;
  if (pin) {
    if (const auto parsed = parse_requirement(pin->text); parsed && !parsed->extras.empty()) {
      for (const std::string& extra : parsed->extras) extras += (extras.empty() ? "" : ",") + extra;
      extras = "[" + extras + "]";
    }
  }
  return "pyspark" + extras + "==" + version;
}

std::string shown(const std::string& tool, const std::vector<std::string>& argv) {
  std::string line = tool;
  for (size_t i = 1; i < argv.size(); ++i) line += " " + escape_controls(shell_quoted(argv[i]));
  return line;
}

}  // namespace

std::string file_names(const std::vector<std::string>& files) {
  std::string names;
  for (const std::string& file : files) {
    names += (names.empty() ? "" : " and ") + fs::path(file).filename().string();
  }
  return escape_controls(names);
}

std::vector<std::string> locked_package_names(const std::string& lock_text) {
  std::vector<std::string> names;
  toml::table document;
  try {
    document = toml::parse(lock_text);
  } catch (const toml::parse_error&) {
    return names;
  }
  if (const toml::array* packages = document["package"].as_array()) {
    for (const toml::node& entry : *packages) {
      const toml::table* package = entry.as_table();
      if (!package) continue;
      if (const auto name = (*package)["name"].value<std::string>()) {
        names.push_back(normalized_name(*name));
      }
    }
  }
  return names;
}

ProjectEditPlan plan_project_edit(
    const ProjectEditFacts& facts, const std::string& version,
    const std::vector<std::pair<std::string, std::string>>& companions) {
  if (!facts.owns_environment) return {};
  const std::string lock_name = fs::path(facts.lock).filename().string();
  std::string tool = lock_name == "uv.lock" ? "uv" : lock_name == "poetry.lock" ? "poetry" : "";
  std::vector<const ProjectPin*> managed;
  bool lock_differs = false;
  for (const ProjectPin& pin : facts.pins) {
    if (!pin_applies(pin, facts.markers)) continue;
    if (pin.locked) {
      const auto locked = exact_version(pin);
      if (pin.tool == tool && locked && !same_version(*locked, version)) lock_differs = true;
    } else if (fs::path(pin.file).filename() == "pyproject.toml" &&
               (pin.tool == "uv" || pin.tool == "poetry")) {
      managed.push_back(&pin);
    }
  }
  if (tool.empty() && !managed.empty()) tool = managed.front()->tool;
  if (tool.empty()) return {};
  std::vector<const ProjectPin*> excluding;
  for (const ProjectPin* pin : managed) {
    if (pin->tool == tool && specifier_admits(pin->specifiers, version, true) == false) {
      excluding.push_back(pin);
    }
  }
  if (excluding.empty() && !lock_differs) return {};

  const bool uv = tool == "uv";
  const std::optional<std::string>& program = uv ? facts.uv : facts.poetry;
  const std::string path = program.value_or(tool);
  ProjectEdit edit{.tool = tool, .undone_by = uv ? "uv sync or uv run" : "poetry install"};
  const auto add = [&](const ProjectPin* pin) {
    std::vector<std::string> argv = {path, "add"};
    argv.push_back(uv ? "--no-sync" : "--lock");
    argv.push_back("--directory=" + facts.folder);
    std::string requirement = requirement_for(pin, version);
    if (pin && !pin->marker.empty() && uv) requirement += "; " + pin->marker;
    argv.push_back(requirement);
    if (pin) {
      const auto flags = section_flags(pin->where);
      argv.insert(argv.end(), flags.begin(), flags.end());
      if (!pin->marker.empty() && !uv) argv.push_back("--markers=" + pin->marker);
    }
    edit.commands.push_back(std::move(argv));
  };
  for (const ProjectPin* pin : excluding) add(pin);
  if (uv) {
    // The requirement already admits the version: only the lock moves, as uv documents it
    // (https://docs.astral.sh/uv/concepts/projects/sync/#upgrading-locked-package-versions),
    // and with it the companions the lock holds.
    std::vector<std::string> upgrade = {path, "lock", "--directory=" + facts.folder};
    if (excluding.empty()) upgrade.push_back("--upgrade-package=pyspark==" + version);
    for (const auto& [name, to] : companions) {
      const std::string normal = normalized_name(name);
      if (std::find(facts.locked_names.begin(), facts.locked_names.end(), normal) !=
          facts.locked_names.end()) {
        upgrade.push_back("--upgrade-package=" + normal + "==" + to);
      }
    }
    if (upgrade.size() > 3) edit.commands.push_back(std::move(upgrade));
  } else if (excluding.empty()) {
    // Poetry moves a lock only through a requirement: the first one the project has.
    add(managed.empty() ? nullptr : managed.front());
  }
  // `uv lock` alone leaves pyproject.toml as it is.
  if (!uv || !excluding.empty()) {
    edit.files.push_back((fs::path(facts.folder) / "pyproject.toml").string());
  }
  edit.files.push_back(facts.lock.empty() ? (fs::path(facts.folder) / (tool + ".lock")).string()
                                          : facts.lock);
  for (const auto& argv : edit.commands) edit.shown.push_back(shown(tool, argv));
  if (program) return {.edit = std::move(edit)};
  ProjectEditPlan refused{
      .edit = edit,
      .refusal = "This project's " +
                 escape_controls(lock_name.empty() ? "pyproject.toml" : lock_name) +
                 " keeps another PySpark, and " + tool +
                 " is not on PATH to change it with the environment"};
  refused.mend = edit.shown;
  refused.mend.push_back("or add --no-project to change only the environment (the next " +
                         edit.undone_by + " puts the old PySpark back)");
  return refused;
}

}  // namespace plo
