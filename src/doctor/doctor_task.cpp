#include "doctor/doctor_task.h"

#include <map>

#include "doctor/doctor_facts.h"

namespace plo {

const char* status_name(CheckStatus status) {
  switch (status) {
    case CheckStatus::Ok:
      return "ok";
    case CheckStatus::Warning:
      return "warning";
    case CheckStatus::Error:
      return "error";
  }
  return "error";
}

void DoctorCheck::raise(CheckStatus worse, std::string detail) {
  if (static_cast<int>(worse) > static_cast<int>(status)) status = worse;
  details.push_back(std::move(detail));
}

bool DoctorReport::ok() const {
  for (const auto& check : checks) {
    if (check.status == CheckStatus::Error) return false;
  }
  return true;
}

std::vector<DoctorArea> doctor_areas(const DoctorOptions& options) {
  std::vector<DoctorArea> areas = {
      {"interpreter", "Interpreter", check_interpreter},
      {"pyspark", "PySpark", check_pyspark},
      {"companions", "Companions", check_companions},
      {"java", "Java", check_java},
      {"spark_home", "SPARK_HOME", check_spark_home},
      {"pyspark_python", "PYSPARK_PYTHON", check_worker_python},
      {"pyspark_submit_args", "PYSPARK_SUBMIT_ARGS", check_submit_args},
      {"jars", "spark.jars.packages", check_jars},
      {"computes", "computes.yml", check_computes},
      {"project", "pyproject.toml", check_project},
      {"installer", "Installer", check_installer},
  };
  if (options.deep) {
    areas.push_back({"session", "Local session", check_session});
    areas.push_back({"pandas", "pandas round trip", check_pandas_round_trip});
  }
  return areas;
}

DoctorReport DoctorTask::report() {
  DoctorReport report;
  DoctorFacts facts(s_, options_);
  // Where each reason an area could not be looked at was shown first: one missing interpreter
  // stops most areas, and is told once.
  std::map<std::string, std::string> shown_under;
  for (const DoctorArea& area : doctor_areas(options_)) {
    DoctorCheck check;
    check.area = area.area;
    check.title = area.title;
    try {
      area.check(facts, check);
    } catch (const std::exception& e) {
      check.status = CheckStatus::Error;
      check.summary = "cannot be checked";
      check.details.clear();
      check.fix.reset();
      const auto [first, added] = shown_under.emplace(e.what(), area.title);
      if (added) {
        check.details.emplace_back(e.what());
      } else {
        check.summary += " (see " + first->second + ")";
      }
    }
    for (const auto& detail : check.details) shown_under.emplace(detail, area.title);
    report.checks.push_back(std::move(check));
  }
  return report;
}

}  // namespace plo
