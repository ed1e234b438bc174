// toml++ header-only, as in project_file.cpp.
#define TOML_HEADER_ONLY 1
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

#include "project/project_pins.h"

#include "catalogue/requirements.h"

namespace plo {
namespace {

constexpr std::string_view kBlanks = " \t\r\f\v";

std::string_view trimmed(std::string_view text) {
  const size_t begin = text.find_first_not_of(kBlanks);
  if (begin == std::string_view::npos) return {};
  return text.substr(begin, text.find_last_not_of(kBlanks) - begin + 1);
}

int line_of(const toml::node& node) {
  return static_cast<int>(node.source().begin.line);
}

// A PEP 508 requirement string of a TOML array, when it is pyspark's.
std::optional<ProjectPin> pin_of_requirement(const toml::node& node, const std::string& file,
                                             const std::string& where, const std::string& tool) {
  const auto text = node.value<std::string>();
  if (!text) return std::nullopt;
  const auto requirement = parse_requirement(*text);
  if (!requirement || requirement->name != "pyspark") return std::nullopt;
  return ProjectPin{.file = file,
                    .line = line_of(node),
                    .where = where,
                    .text = *text,
                    .specifiers = requirement->specifiers,
                    .marker = requirement->marker,
                    .tool = tool};
}

void add_requirement_array(const toml::node* array, const std::string& file,
                           const std::string& where, const std::string& tool,
                           std::vector<ProjectPin>& pins) {
  const toml::array* list = array ? array->as_array() : nullptr;
  if (!list) return;
  for (const toml::node& item : *list) {
    if (auto pin = pin_of_requirement(item, file, where, tool)) pins.push_back(std::move(*pin));
  }
}

// Each `name = [requirements]` of a table (optional sets, dependency groups).
void add_named_arrays(const toml::node* table, const std::string& file, const std::string& where,
                      const std::string& tool, std::vector<ProjectPin>& pins) {
  const toml::table* sets = table ? table->as_table() : nullptr;
  if (!sets) return;
  for (const auto& [name, array] : *sets) {
    add_requirement_array(&array, file, where + " " + std::string(name.str()), tool, pins);
  }
}

// One Poetry dependency value: a constraint string, a table with `version` (and `markers`), or
// an array of such tables.
void add_poetry_value(const toml::node& value, const std::string& file, const std::string& where,
                      std::vector<ProjectPin>& pins) {
  if (const toml::array* list = value.as_array()) {
    for (const toml::node& item : *list) add_poetry_value(item, file, where, pins);
    return;
  }
  std::optional<std::string> constraint = value.value<std::string>();
  std::string marker;
  if (const toml::table* table = value.as_table()) {
    constraint = (*table)["version"].value<std::string>();
    marker = (*table)["markers"].value<std::string>().value_or("");
  }
  if (!constraint) return;  // a path, git or URL dependency: no version to compare
  const auto specifiers = poetry_specifiers(*constraint);
  if (!specifiers) return;
  pins.push_back({.file = file,
                  .line = line_of(value),
                  .where = where,
                  .text = "pyspark = \"" + *constraint + "\"",
                  .specifiers = *specifiers,
                  .marker = marker,
                  .tool = "poetry"});
}

void add_poetry_table(const toml::node* table, const std::string& file, const std::string& where,
                      std::vector<ProjectPin>& pins) {
  const toml::table* dependencies = table ? table->as_table() : nullptr;
  if (!dependencies) return;
  for (const auto& [name, value] : *dependencies) {
    if (normalized_name(name.str()) == "pyspark") add_poetry_value(value, file, where, pins);
  }
}

std::optional<toml::table> parsed(const std::string& text) {
  try {
    return toml::parse(text);
  } catch (const toml::parse_error&) {
    return std::nullopt;
  }
}

void add_pyproject(const std::string& file, const std::string& text, std::string tool,
                   std::vector<ProjectPin>& pins) {
  auto document = parsed(text);
  if (!document) return;
  // Without a lock, the tool whose table the file has (a Poetry 2 project keeps [tool.poetry]).
  if (tool.empty() && (*document)["tool"]["poetry"]) tool = "poetry";
  if (tool.empty() && (*document)["tool"]["uv"]) tool = "uv";
  const toml::node_view project = (*document)["project"];
  add_requirement_array(project["dependencies"].node(), file, "[project].dependencies", tool, pins);
  add_named_arrays(project["optional-dependencies"].node(), file, "[project.optional-dependencies]",
                   tool, pins);
  add_named_arrays((*document)["dependency-groups"].node(), file, "[dependency-groups]", tool,
                   pins);
  const toml::node_view poetry = (*document)["tool"]["poetry"];
  add_poetry_table(poetry["dependencies"].node(), file, "[tool.poetry.dependencies]", pins);
  add_poetry_table(poetry["dev-dependencies"].node(), file, "[tool.poetry.dev-dependencies]", pins);
  if (const toml::table* groups = poetry["group"].as_table()) {
    for (const auto& [group, table] : *groups) {
      const toml::table* entries = table.as_table();
      if (!entries) continue;
      add_poetry_table(entries->get("dependencies"), file,
                       "[tool.poetry.group." + std::string(group.str()) + ".dependencies]", pins);
    }
  }
}

// A lock's [[package]] entry for pyspark: uv.lock and poetry.lock share that shape.
void add_lock(const std::string& file, const std::string& text, const std::string& tool,
              std::vector<ProjectPin>& pins) {
  auto document = parsed(text);
  if (!document) return;
  const toml::array* packages = (*document)["package"].as_array();
  if (!packages) return;
  for (const toml::node& entry : *packages) {
    const toml::table* package = entry.as_table();
    if (!package) continue;
    const auto name = (*package)["name"].value<std::string>();
    const toml::node* version = package->get("version");
    if (!name || normalized_name(*name) != "pyspark" || !version || !version->is_string()) {
      continue;
    }
    const std::string value = *version->value<std::string>();
    pins.push_back({.file = file,
                    .line = line_of(*version),
                    .text = "version = \"" + value + "\"",
                    .specifiers = "==" + value,
                    .locked = true,
                    .tool = tool});
  }
}

// The digits of a dotted release ("3.5.1" -> 3, 5, 1); nothing for anything else.
std::optional<std::vector<long>> release_numbers(std::string_view text) {
  std::vector<long> numbers;
  size_t at = 0;
  while (at <= text.size()) {
    const size_t dot = std::min(text.find('.', at), text.size());
    const std::string_view part = text.substr(at, dot - at);
    if (part.empty() || part.size() > 9 ||
        part.find_first_not_of("0123456789") != std::string_view::npos) {
      return std::nullopt;
    }
    numbers.push_back(std::stol(std::string(part)));
    at = dot + 1;
  }
  return numbers;
}

std::string dotted(const std::vector<long>& numbers) {
  std::string out;
  for (long n : numbers) out += (out.empty() ? "" : ".") + std::to_string(n);
  return out;
}

// ^ and ~ as ranges: from the version to the next release of the component `bump` chooses.
std::optional<std::string> range_from(std::string_view version, bool caret) {
  const auto numbers = release_numbers(trimmed(version));
  if (!numbers) return std::nullopt;
  size_t bump = 0;
  if (caret) {
    bump = numbers->size() - 1;
    for (size_t i = 0; i < numbers->size(); ++i) {
      if ((*numbers)[i] != 0) {
        bump = i;
        break;
      }
    }
  } else {
    bump = numbers->size() >= 2 ? 1 : 0;
  }
  std::vector<long> upper(numbers->begin(), numbers->begin() + static_cast<long>(bump) + 1);
  ++upper.back();
  return ">=" + dotted(*numbers) + ",<" + dotted(upper);
}

}  // namespace

std::optional<std::string> poetry_specifiers(std::string_view constraint) {
  if (constraint.find("||") != std::string_view::npos) return std::nullopt;  // unions: not here
  std::string out;
  size_t at = 0;
  while (at <= constraint.size()) {
    const size_t comma = std::min(constraint.find(',', at), constraint.size());
    std::string part;
    for (char ch : constraint.substr(at, comma - at)) {
      if (kBlanks.find(ch) == std::string_view::npos && ch != ' ') part += ch;
    }
    at = comma + 1;
    std::optional<std::string> piece;
    if (part.empty() || part == "*") {
      piece = "";
    } else if (part.starts_with("^")) {
      piece = range_from(std::string_view(part).substr(1), true);
    } else if (part.starts_with("~=")) {
      piece = part;
    } else if (part.starts_with("~")) {
      piece = range_from(std::string_view(part).substr(1), false);
    } else if (part.find_first_of("<>=!") == 0) {
      piece = part;
    } else {
      piece = "==" + part;  // a bare version, or one with a wildcard ("3.5.*")
    }
    if (!piece) return std::nullopt;
    if (!piece->empty()) out += (out.empty() ? "" : ",") + *piece;
  }
  if (!out.empty() && !specifier_admits(out, "0").has_value()) return std::nullopt;
  return out;
}

std::vector<ProjectPin> requirements_pins(const std::string& file, std::string_view text) {
  std::vector<ProjectPin> pins;
  std::string logical;
  int first_line = 0;
  int number = 0;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    ++number;
    if (logical.empty()) first_line = number;
    const std::string_view kept = trimmed(line);
    if (kept.ends_with('\\')) {
      logical.append(line.substr(0, line.rfind('\\')));
      logical += ' ';
      if (at < text.size()) continue;
    } else {
      logical.append(line);
    }
    // A comment starts at "#" at the start or after a blank, as pip reads it.
    std::string_view requirement = logical;
    for (size_t i = 0; i < requirement.size(); ++i) {
      if (requirement[i] == '#' &&
          (i == 0 || kBlanks.find(requirement[i - 1]) != std::string_view::npos)) {
        requirement = requirement.substr(0, i);
        break;
      }
    }
    // Options after the requirement (--hash=..., --config-settings) are not part of it.
    for (size_t i = 1; i + 1 < requirement.size(); ++i) {
      if (requirement[i] == '-' && requirement[i + 1] == '-' &&
          kBlanks.find(requirement[i - 1]) != std::string_view::npos) {
        requirement = requirement.substr(0, i);
        break;
      }
    }
    requirement = trimmed(requirement);
    if (!requirement.empty() && requirement.front() != '-') {
      if (const auto parsed_requirement = parse_requirement(requirement);
          parsed_requirement && parsed_requirement->name == "pyspark") {
        pins.push_back({.file = file,
                        .line = first_line,
                        .text = std::string(requirement),
                        .specifiers = parsed_requirement->specifiers,
                        .marker = parsed_requirement->marker,
                        .tool = "pip"});
      }
    }
    logical.clear();
  }
  return pins;
}

std::vector<ProjectPin> read_project_pins(const PinTexts& texts) {
  std::vector<ProjectPin> pins;
  if (texts.pyproject) {
    // The tool that keeps [project]'s requirements: the one whose lock is there.
    const std::string tool = texts.uv_lock ? "uv" : texts.poetry_lock ? "poetry" : "";
    add_pyproject(texts.pyproject->first, texts.pyproject->second, tool, pins);
  }
  if (texts.uv_lock) add_lock(texts.uv_lock->first, texts.uv_lock->second, "uv", pins);
  if (texts.poetry_lock) {
    add_lock(texts.poetry_lock->first, texts.poetry_lock->second, "poetry", pins);
  }
  for (const auto& [file, text] : texts.requirements) {
    for (ProjectPin& pin : requirements_pins(file, text)) pins.push_back(std::move(pin));
  }
  return pins;
}

bool pin_applies(const ProjectPin& pin, const MarkerEnvironment& markers) {
  return pin.marker.empty() || evaluate_marker(pin.marker, markers) != false;
}

bool lock_holds_project(const std::string& lock_text, const std::string& pyproject_text) {
  const auto project = parsed(pyproject_text);
  const auto name = project ? (*project)["project"]["name"].value<std::string>() : std::nullopt;
  const auto lock = name ? parsed(lock_text) : std::nullopt;
  const toml::array* packages = lock ? (*lock)["package"].as_array() : nullptr;
  if (!packages) return false;
  for (const toml::node& entry : *packages) {
    const toml::table* package = entry.as_table();
    if (!package) continue;
    const auto listed = (*package)["name"].value<std::string>();
    const toml::table* source = (*package)["source"].as_table();
    if (listed && normalized_name(*listed) == normalized_name(*name) && source &&
        (source->contains("editable") || source->contains("virtual"))) {
      return true;
    }
  }
  return false;
}

std::optional<std::string> exact_version(const ProjectPin& pin) {
  const std::string_view spec = pin.specifiers;
  if (spec.find(',') != std::string_view::npos || spec.find('*') != std::string_view::npos) {
    return std::nullopt;
  }
  if (spec.starts_with("===")) return std::string(spec.substr(3));
  if (spec.starts_with("==")) return std::string(spec.substr(2));
  return std::nullopt;
}

}  // namespace plo
