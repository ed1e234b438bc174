#include "doctor_commands.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "compat/real_java_environment.h"
#include "compute/compute_task.h"
#include "compute_commands.h"
#include "console/quiet_console.h"
#include "console/write_all.h"
#include "doctor/doctor_render.h"
#include "doctor/doctor_task.h"
#include "environment/interpreter.h"
#include "help.h"
#include "installer_request.h"
#include "interpreter_line.h"
#include "output.h"
#include "probes/databricks_api.h"
#include "probes/network_master_probe.h"
#include "project/pin_check.h"
#include "project/project_target.h"
#include "registry/compute_registry.h"
#include "services.h"
#include "spark/spark_task.h"
#include "util/environment.h"
#include "util/json_document.h"
#include "util/text.h"

namespace plo::cli {
namespace {

std::optional<std::string> env_value(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
}

// The installer a switch would run, chosen as the install phase chooses it; pip's dist-info on the
// import path stands for the phase's probe of `-m pip`, so that the doctor starts no child for it.
InstallerOutlook installer_outlook(JavaCompatService& compat) {
  const InstallerRequest asked = installer_request("");
  const InstallerFacts facts = installer_facts(
      asked, find_interpreter(), compat.distribution_version("pip").has_value(), true);
  const InstallerChoice choice = choose_installer(facts);
  return {.chosen =
              choice.kind ? std::optional<std::string>(installer_name(*choice.kind)) : std::nullopt,
          .asked = asked.asked,
          .asked_by = asked.asked_by,
          .uv_on_path = facts.uv.has_value(),
          .pip_settings = facts.pip_settings};
}

}  // namespace

void add_doctor_command(CLI::App& app, DoctorRequest& request) {
  CLI::App* doctor =
      app.add_subcommand("doctor", "Check everything PySpark depends on, and how to fix it");
  doctor->add_flag("--json", request.json,
                   "Print the report as one JSON document (schema in the README)");
  doctor->add_flag("--clusters", request.clusters,
                   "Also test every compute of computes.yml (each at most 10 seconds)");
  doctor->add_flag("--deep", request.deep,
                   "Also start a local Spark session and name the cause when it fails; where "
                   "pandas is installed, send a pandas frame through it and back");
  doctor->callback([&request] { request.chosen = true; });
  set_examples(*doctor, {"plo doctor                      # every area, one line each",
                         "plo doctor --deep               # and start a local session",
                         "plo doctor --clusters           # and ask every compute",
                         "plo doctor --json | jq '.checks[] | select(.status != \"ok\")'"});
}

int run_doctor(const DoctorRequest& request, const GlobalOptions& options) {
  tell_interpreter();
  const int document_fd = request.json ? set_output_aside() : STDOUT_FILENO;
  RealServices services;
  UserConsole user(options, {.no_color = request.json, .document = request.json});
  Console& console = user.get();
  RealJavaEnvironment java(services.runner, services.compat);
  // The smoke test's own progress line is not part of the doctor's report.
  QuietConsole quiet(console);
  SparkTask spark(services.spark(quiet));
  NetworkMasterProbe masters(services.http);
  HttpDatabricksApi databricks(services.http);
  ComputeTask computes(real_compute_services(services, quiet, masters, databricks, spark));

  DoctorTask doctor(
      {
          .compat = services.compat,
          .java = java,
          .runner = services.runner,
          .interpreter = find_interpreter,
          .env = env_value,
          .stale_virtual_env = stale_virtual_env,
          .computes_path = [] { return YamlComputeRegistry::default_path(); },
          .test_compute =
              [&computes](const std::string& name) {
                const TestReport report = computes.test_report(name);
                std::optional<std::string> error = report.error;
                for (const auto& endpoint : report.endpoints) {
                  if (!error) error = endpoint.error;
                }
                return ComputeAnswer{report.reachable, report.spark_version, error};
              },
          .start_session =
              [&spark](std::optional<bool> java_fits) {
                SparkTask::SmokeResult result = spark.smoke_test(java_fits);
                return SessionAnswer{result.ok, std::move(result.message), result.java_error,
                                     std::move(result.first_error_line)};
              },
          .start_session_with_pandas =
              [&spark](std::optional<bool> java_fits) {
                SparkTask::RoundTripResult result = spark.smoke_test_with_pandas(java_fits);
                return SessionAnswer{
                    result.session.ok, std::move(result.session.message), result.session.java_error,
                    std::move(result.session.first_error_line), std::move(result.pandas_error)};
              },
          .project = [&]() -> std::optional<ProjectStatus> {
            std::error_code error;  // a removed current folder has none
            const auto here = std::filesystem::current_path(error);
            if (error) return std::nullopt;
            return project_status(
                services.compat,
                [&spark](const std::string& name) { return spark.cluster_version_of(name); }, here);
          },
          .project_pins = [&](const std::optional<ProjectStatus>& status) -> PinReport {
            std::error_code error;
            const auto here = std::filesystem::current_path(error);
            if (error) return {};
            return check_project_pins(services.compat, status, here);
          },
          .installer = [&services] { return installer_outlook(services.compat); },
      },
      {.clusters = request.clusters, .deep = request.deep});
  const DoctorReport report = doctor.report();
  if (request.json) {
    auto document = doctor_json(report);
    add_interpreter_fields(document);
    write_all(document_fd, json_text(document) + "\n");
  } else {
    print_doctor_report(console, report, unicode_marks());
  }
  return report.ok() ? 0 : 1;
}

}  // namespace plo::cli
