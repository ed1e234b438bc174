#include <string>

#include "catalogue/python_support.h"
#include "doctor/doctor_facts.h"
#include "util/escape.h"

namespace plo {

namespace {

// Each pin that disagrees is an error; the first one's fix is the row's, the others' are told
// beside them.
void add_pin_conflicts(DoctorCheck& check, const PinReport& pins) {
  for (const PinConflict& conflict : pins.conflicts) {
    if (!check.fix) {
      check.raise(CheckStatus::Error, conflict.problem);
      check.fix = conflict.fix;
    } else {
      check.raise(CheckStatus::Error, conflict.problem + " (fix: " + conflict.fix + ")");
    }
  }
}

}  // namespace

void check_project(DoctorFacts& facts, DoctorCheck& check) {
  const auto status = facts.s.project ? facts.s.project() : std::nullopt;
  const PinReport pins = facts.s.project_pins ? facts.s.project_pins(status) : PinReport{};
  if (!status) {
    if (pins.pins.empty()) {
      check.summary = "no pyproject.toml with [tool.plo] applies here";
      return;
    }
    check.summary = escape_controls(pins.pins.front().file) + ": PySpark " +
                    escape_controls(pins.pins.front().text) + " (no [tool.plo])";
    add_pin_conflicts(check, pins);
    return;
  }
  const auto& target = status->target;
  check.summary = escape_controls(status->spec.file) + ": " +
                  (target.runtime ? target.runtime->title + ", " : std::string()) + "PySpark " +
                  target.pyspark + ", Java " + std::to_string(target.java);
  // Explicit keys beside a runtime win; the user should know they part from it.
  for (const std::string& contradiction : target.contradictions) {
    check.raise(CheckStatus::Warning, escape_controls(contradiction) + " (the key wins)");
  }
  if (target.runtime && !target.runtime->spark.empty() && target.runtime->pythons.size() > 0) {
    if (const auto range = python_range(major_minor_of(target.runtime->spark));
        range && !python_fits(target.runtime->pythons.back(), *range)) {
      check.details.push_back("PySpark " + major_minor_of(target.runtime->spark) +
                              " declares Python " + range->min + " to " + range->max + "; " +
                              target.runtime->title + " runs Python " +
                              target.runtime->pythons.back() + " (the runtime is the truth)");
    }
  }
  if (status->python_fits == false) {
    check.raise(CheckStatus::Error, "this environment runs Python " + *status->python + ", " +
                                        target.runtime->title + " runs " +
                                        target.runtime->pythons.back());
    check.fix = "uv venv --python " + target.runtime->pythons.back();
  }
  add_pin_conflicts(check, pins);
  if (status->matches) return;
  // The environment runs another PySpark or Java than the project's code is written for.
  const auto& pyspark = facts.pyspark();
  const auto& java = facts.java();
  check.raise(CheckStatus::Error,
              "this environment has " +
                  (pyspark ? "PySpark " + pyspark->version : std::string("no PySpark")) + " and " +
                  (java ? "Java " + std::to_string(java->version) : std::string("no Java")));
  if (!check.fix) check.fix = "plo sync";
}

}  // namespace plo
