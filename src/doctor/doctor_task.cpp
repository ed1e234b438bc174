#include "doctor/doctor_task.h"

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
      {"java", "Java", check_java},
      {"spark_home", "SPARK_HOME", check_spark_home},
      {"pyspark_python", "PYSPARK_PYTHON", check_worker_python},
      {"pyspark_submit_args", "PYSPARK_SUBMIT_ARGS", check_submit_args},
      {"computes", "computes.yml", check_computes},
  };
  if (options.deep) areas.push_back({"session", "Local session", check_session});
  return areas;
}

DoctorReport DoctorTask::report() {
  DoctorReport report;
  DoctorFacts facts(s_, options_);
  for (const DoctorArea& area : doctor_areas(options_)) {
    DoctorCheck check;
    check.area = area.area;
    check.title = area.title;
    try {
      area.check(facts, check);
    } catch (const std::exception& e) {
      check.status = CheckStatus::Error;
      check.summary = "cannot be checked";
      check.details.assign({e.what()});
      check.fix.reset();
    }
    report.checks.push_back(std::move(check));
  }
  return report;
}

}  // namespace plo
