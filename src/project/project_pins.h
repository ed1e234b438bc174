#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalogue/requirements.h"

namespace plo {

// One place a project states the PySpark it wants, beside [tool.plo].
struct ProjectPin {
  std::string file = {};  // the file's path as given
  int line = 0;           // where the requirement starts (from 1); 0 when unknown
  // Where in the file: "[project].dependencies", "[project.optional-dependencies] spark",
  // "[dependency-groups] dev", "[tool.poetry.dependencies]",
  // "[tool.poetry.group.dev.dependencies]"; empty for a lock or a requirements file.
  std::string where = {};
  std::string text = {};        // as written: "pyspark[sql]==3.5.9; python_version >= '3.9'"
  std::string specifiers = {};  // PEP 440: "==3.5.9", ">=3.5,<4.0"; empty for any version
  std::string marker = {};      // PEP 508, empty for none
  bool locked = false;          // a lock file's resolved version ("==V")
  std::string tool = {};        // what manages the file: "uv", "poetry" or "pip"
};

// The texts a project's pins are read from, each with its file's path.
struct PinTexts {
  std::optional<std::pair<std::string, std::string>> pyproject = {};
  std::optional<std::pair<std::string, std::string>> uv_lock = {};
  std::optional<std::pair<std::string, std::string>> poetry_lock = {};
  // requirements*.txt, constraints*.txt
  std::vector<std::pair<std::string, std::string>> requirements = {};
};

// Every pyspark pin of the texts, pyproject.toml's first, then the locks', then the requirements
// files'. A file that is not valid TOML gives none.
std::vector<ProjectPin> read_project_pins(const PinTexts& texts);

// The pyspark requirements of a requirements or constraints file: `\` continuations joined,
// comments and per-requirement options (--hash) dropped. Includes (-r, -c) are not followed.
std::vector<ProjectPin> requirements_pins(const std::string& file, std::string_view text);

// A Poetry constraint ("^3.5", "~3.5.1", "3.5.*", ">=3.5,<4", "3.5.1") as PEP 440 specifiers
// ("" for "*"); nothing when it cannot be read.
std::optional<std::string> poetry_specifiers(std::string_view constraint);

// Whether a uv.lock holds the project of a pyproject.toml as a workspace member (a [[package]] of
// its [project].name whose source is editable or virtual): the lock a member's `uv sync` follows.
bool lock_holds_project(const std::string& lock_text, const std::string& pyproject_text);

// Whether the pin applies to an interpreter with these markers: no marker, or one that does not
// evaluate false (a marker that cannot be read counts).
bool pin_applies(const ProjectPin& pin, const MarkerEnvironment& markers);

// The version of a pin that allows exactly one ("==3.5.9", "===3.5.9", a lock's), else nothing.
std::optional<std::string> exact_version(const ProjectPin& pin);

}  // namespace plo
