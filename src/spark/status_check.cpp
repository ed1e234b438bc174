#include "environment/spark_env.h"
#include "spark/pyspark_stash.h"
#include "spark/spark_task.h"
#include "spark/text_report.h"
#include "util/escape.h"

namespace plo {

CheckReport SparkTask::check_report() {
  CheckReport report;
  try {
    report.python = s_.interpreter();
    report.pyspark = s_.compat.get_pyspark_info();
    if (!report.pyspark) return report;
    report.python_version = s_.compat.python_version();
    report.python_supported = python_range(report.pyspark->major_minor);
    report.python_fits = python_fit(report.python_version, report.python_supported);
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
  try {
    if (!report.java && report.java_searched) {
      if (const auto problem = s_.compat.spark_env_java_home_problem()) {
        s_.console.echo_err("Note: " + escape_controls(*problem));
      }
    }
    if (const auto folder = s_.compat.leftover_stash()) {
      const auto version = PySparkStash(*folder).version();
      s_.console.echo_err("Note: an interrupted 'plo spark set-version' left a copy of PySpark " +
                          version.value_or("?") + " in " + escape_controls(*folder) +
                          "; the next set-version puts it back where PySpark is half removed, "
                          "else clears it");
    }
  } catch (const std::exception&) {
    // The report above stands; the note is a courtesy.
  }
  return report.ok();
}

}  // namespace plo
