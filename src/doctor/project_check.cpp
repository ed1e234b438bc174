#include <string>

#include "doctor/doctor_facts.h"
#include "util/escape.h"

namespace plo {

void check_project(DoctorFacts& facts, DoctorCheck& check) {
  const auto status = facts.s.project ? facts.s.project() : std::nullopt;
  if (!status) {
    check.summary = "no pyproject.toml with [tool.plo] applies here";
    return;
  }
  check.summary = escape_controls(status->spec.file) + ": PySpark " + status->target.pyspark +
                  ", Java " + std::to_string(status->target.java);
  if (status->matches) return;
  // The environment runs another PySpark or Java than the project's code is written for.
  const auto& pyspark = facts.pyspark();
  const auto& java = facts.java();
  check.raise(CheckStatus::Error,
              "this environment has " +
                  (pyspark ? "PySpark " + pyspark->version : std::string("no PySpark")) + " and " +
                  (java ? "Java " + std::to_string(java->version) : std::string("no Java")));
  check.fix = "plo sync";
}

}  // namespace plo
