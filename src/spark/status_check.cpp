#include "compat/spark_env.h"
#include "spark/spark_task.h"
#include "spark/text_report.h"

namespace plo {

CheckReport SparkTask::check_report() {
  CheckReport report;
  try {
    report.python = s_.interpreter();
    report.pyspark = s_.compat.get_pyspark_info();
    if (!report.pyspark) return report;
    warn_if_spark_env_skipped();
    report.java = s_.compat.get_current_java();
    report.java_searched = true;
    if (!report.java) return report;
    auto [is_compat, msg] = s_.compat.check_java_pyspark_compatibility(report.java->version,
                                                                       report.pyspark->major_minor);
    report.compatible = is_compat;
    report.message = std::move(msg);
  } catch (const std::exception&) {
    report.error = std::current_exception();
  }
  return report;
}

bool SparkTask::check() {
  const CheckReport report = check_report();
  print_check(s_.console, report);
  if (report.error) std::rethrow_exception(report.error);
  return report.ok();
}

}  // namespace plo
