#include <algorithm>

#include "catalogue/pep440.h"
#include "environment/spark_env.h"
#include "spark/pyspark_stash.h"
#include "spark/spark_task.h"
#include "spark/text_report.h"
#include "util/escape.h"

namespace plo {

bool CheckReport::spark_home_mismatch() const {
  if (!spark_home || !pyspark) return false;
  if (!spark_home->spark.has_spark_submit) return true;
  const auto& other = spark_home->spark.version;
  if (!other) return false;  // a Spark that does not say its version: nothing to hold against it
  return !same_version(*other, pyspark->version);
}

bool CheckReport::companions_fit() const {
  return std::all_of(companions.begin(), companions.end(),
                     [](const CompanionVerdict& c) { return c.fits(); });
}

CheckReport SparkTask::check_report() {
  CheckReport report;
  // Each step stops where the next has nothing to look at; the project file is read whatever
  // was found, since an environment without PySpark or Java drifts from it the most.
  const auto look = [&] {
    report.python = s_.interpreter();
    report.pyspark = s_.compat.get_pyspark_info();
    if (!report.pyspark) return;
    report.python_version = s_.compat.python_version();
    report.python_supported = python_range(report.pyspark->major_minor);
    report.python_fits = python_fit(report.python_version, report.python_supported);
    report.flavour =
        classify_pyspark_flavour(s_.compat.pyspark_distributions(), report.pyspark->location);
    const InstalledBeside beside = s_.compat.companions();
    report.companions =
        companion_verdicts(beside, installed_target(beside, report.pyspark->version));
    if (!report.java_needed()) return;
    report.spark_home = s_.compat.spark_home();
    warn_if_spark_env_skipped();
    report.java = s_.compat.get_current_java();
    report.java_searched = true;
    if (!report.java) return;
    auto [is_compat, msg] = s_.compat.check_java_pyspark_compatibility(report.java->version,
                                                                       report.pyspark->major_minor);
    report.compatible = is_compat;
    report.message = std::move(msg);
  };
  try {
    look();
  } catch (const std::exception&) {
    report.error = std::current_exception();
  }
  if (!report.error) add_project_status(report);
  return report;
}

void SparkTask::add_project_status(CheckReport& report) {
  if (!s_.project_folder) return;
  const std::filesystem::path folder = s_.project_folder();
  try {
    report.project = project_status(
        s_.compat, [this](const std::string& name) { return cluster_version_of(name); }, folder);
  } catch (const std::exception& e) {
    report.project_error = e.what();
  }
  report.pins = check_project_pins(s_.compat, report.project, folder);
}

std::optional<std::string> SparkTask::cluster_version_of(const std::string& compute_name) {
  const MatchReport report = match_report(compute_name);
  if (report.error) std::rethrow_exception(report.error);
  if (report.registry_error) throw std::runtime_error(*report.registry_error);
  if (!report.compute) {
    throw std::runtime_error("compute '" + escape_controls(compute_name) +
                             "' is not defined in computes.yml");
  }
  if (!report.comparison) return std::nullopt;
  return report.comparison->cluster_version;
}

bool SparkTask::check() {
  const CheckReport report = check_report();
  print_check(s_.console, report);
  if (report.error) std::rethrow_exception(report.error);
  print_project_drift(s_.console, report);
  for (const std::string& line : companion_lines(report)) s_.console.echo_err(line);
  for (const std::string& line : pin_lines(report)) s_.console.echo_err(line);
  if (report.project) {
    if (const auto warning = unknown_keys_warning(report.project->spec)) {
      s_.console.echo_err(*warning);
    }
  }
  try {
    if (!report.java && report.java_searched) {
      if (const auto problem = s_.compat.spark_env_java_home_problem()) {
        s_.console.echo_err("Note: " + escape_controls(*problem));
      }
    }
    if (const auto folder = s_.compat.leftover_stash()) {
      const PySparkStash left(*folder);
      const auto version = left.version();
      if (left.unfinished()) {
        s_.console.echo_err("Note: a 'plo spark set-version' could not put PySpark " +
                            version.value_or("?") + " back: its files are kept in " +
                            escape_controls(*folder) +
                            ", and the next set-version puts them back "
                            "first");
      } else {
        s_.console.echo_err("Note: an interrupted 'plo spark set-version' left a copy of PySpark " +
                            version.value_or("?") + " in " + escape_controls(*folder) +
                            "; the next set-version puts it back where PySpark is half removed, "
                            "else clears it");
      }
    }
  } catch (const std::exception&) {
    // The report above stands; the note is a courtesy.
  }
  return report.ok();
}

}  // namespace plo
