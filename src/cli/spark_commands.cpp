#include "spark_commands.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>

#include "catalogue/pep440.h"
#include "console/write_all.h"
#include "help.h"
#include "hints.h"
#include "installer_request.h"
#include "interpreter_line.h"
#include "locks.h"
#include "output.h"
#include "services.h"
#include "spark/json_report.h"
#include "spark/spark_task.h"
#include "spark/switch_render.h"
#include "spark/text_report.h"
#include "util/escape.h"
#include "util/secrets.h"
#include "util/text.h"

namespace plo::cli {
namespace {

using Op = SparkRequest::Op;

// The spark commands with --json: the report as one document on `document_fd`; set-version's is
// made of what `record` kept of its switch.
int run_json(SparkTask& task, const SparkRequest& request, int document_fd,
             const SwitchRecord& record) {
  const auto print = [&](const auto& report, auto to_json) {
    if (report.error) std::rethrow_exception(report.error);
    write_all(document_fd, json_text(to_json(report)) + "\n");
  };
  switch (request.op) {
    case Op::Check: {
      const CheckReport report = task.check_report();
      if (report.error) std::rethrow_exception(report.error);
      auto document = check_json(report);
      add_interpreter_fields(document);
      write_all(document_fd, json_text(document) + "\n");
      if (report.project_error) {
        const std::string line = escape_controls(without_secrets(*report.project_error)) + "\n";
        std::fputs(line.c_str(), stderr);
      }
      for (const std::string& line : companion_lines(report)) {
        std::fputs((line + "\n").c_str(), stderr);
      }
      for (const std::string& line : pin_lines(report)) {
        std::fputs((line + "\n").c_str(), stderr);
      }
      return report.ok() ? 0 : 1;
    }
    case Op::Versions:
      print(task.versions_report(), versions_json);
      return 0;
    case Op::SetVersion: {
      // The lines of the switch go to standard error; the installer's output is captured.
      const std::string version(trim_blanks(request.version));
      const bool ok = request.version_given ? task.set_version(version) : task.set_version();
      auto document = record.document({.to = version});
      add_interpreter_fields(document);
      write_all(document_fd, json_text(document) + "\n");
      return ok ? 0 : 1;
    }
    case Op::MatchCluster: {
      const MatchReport report = task.match_report(request.compute_name);
      if (!report.compute) hint_compute_name(request.compute_name);
      if (report.error) std::rethrow_exception(report.error);
      auto document = match_json(report);
      bool ok = report.ok();
      if (request.install) {
        // The install's own lines and pip's output go to standard error meanwhile.
        const auto installed = task.install_for_cluster(report);
        document["install"] = install_json(installed);
        add_interpreter_fields(document);
        ok = installed.ok;
      }
      write_all(document_fd, json_text(document) + "\n");
      return ok ? 0 : 1;
    }
    default:
      return 2;
  }
}

}  // namespace

void add_spark_commands(CLI::App& app, SparkRequest& request) {
  CLI::App* spark = app.add_subcommand("spark", "Manage the PySpark of your Python environment");
  spark->require_subcommand(1);
  constexpr auto kJsonHelp = "Print the report as one JSON document (schema in the README)";
  constexpr auto kYesHelp = "Answer yes to 'Install anyway?' and 'Rollback to PySpark ...?'";
  constexpr auto kSystemHelp =
      "Allow the change in a Python that is no virtual or conda environment (shared by every "
      "program that uses it); without it plo refuses there";
  constexpr auto kInstallerHelp =
      "pip (the default) or uv (uv pip ... --python: much faster; pip is kept where pip's own "
      "settings name an index uv would not use); also PLO_INSTALLER, [tool.plo] installer";

  CLI::App* check = spark->add_subcommand(
      "check", "Show the installed PySpark, the current Java and whether they fit");
  check->add_flag("--json", request.json, kJsonHelp);
  check->callback([&request] { request.op = Op::Check; });
  set_examples(*check, {"plo spark check                  # the report",
                        "plo spark check --json | jq .java.home"});

  CLI::App* versions =
      spark->add_subcommand("versions", "Show the PySpark/Java compatibility matrix");
  versions->add_flag("--json", request.json, kJsonHelp);
  versions->callback([&request] { request.op = Op::Versions; });
  set_examples(*versions,
               {"plo spark versions", "plo spark versions --json | jq -r '.versions[].version'"});

  CLI::App* set_version =
      spark->add_subcommand("set-version", "Choose, install and verify a PySpark version");
  CLI::Option* version_given =
      set_version->add_option("VERSION", request.version,
                              "Install this version without the menu: a full version (3.5.3), or a "
                              "line (3.5) for the newest version plo knows of it");
  set_version->add_flag("--yes,-y", request.yes, kYesHelp);
  set_version->add_flag("--system", request.system, kSystemHelp);
  set_version->add_flag("--keep-companions", request.keep_companions, kKeepCompanionsHelp);
  set_version->add_flag("--no-project", request.no_project, kNoProjectHelp);
  set_version->add_flag("--json", request.json,
                        "Print what the switch did as one JSON document (schema in the README); "
                        "the installer's output is captured");
  set_version->add_option("--installer", request.installer, kInstallerHelp)
      ->check(CLI::IsMember({"pip", "uv"}));
  set_examples(*set_version, {"plo spark set-version                 # choose from a menu",
                              "plo spark set-version 3.5             # the newest 3.5 plo knows",
                              "plo spark set-version 3.5.3 --yes     # exactly 3.5.3, no questions",
                              "plo spark set-version 4.1 --yes --json | jq .outcome",
                              "plo -q spark set-version 4.1 --yes    # only errors (and pip's)"});
  set_version->callback([&request, version_given] {
    request.op = Op::SetVersion;
    request.version_given = version_given->count() > 0;
  });

  CLI::App* match = spark->add_subcommand(
      "match-cluster", "Detect Spark version from a cluster and suggest compatible PySpark");
  match->add_option("COMPUTE_NAME", request.compute_name, "A compute engine of computes.yml")
      ->required();
  match->add_flag("--json", request.json, kJsonHelp);
  match->add_flag("--install", request.install,
                  "After a mismatch, install the PySpark that fits the cluster");
  match->add_flag("--yes,-y", request.yes, kYesHelp);
  match->add_flag("--system", request.system, kSystemHelp);
  match->add_flag("--keep-companions", request.keep_companions, kKeepCompanionsHelp);
  match->add_flag("--no-project", request.no_project, kNoProjectHelp);
  match->add_option("--installer", request.installer, kInstallerHelp)
      ->check(CLI::IsMember({"pip", "uv"}));
  match->callback([&request] { request.op = Op::MatchCluster; });
  set_examples(*match, {"plo spark match-cluster prod                   # compare, change nothing",
                        "plo spark match-cluster prod --install --yes   # install what fits",
                        "plo spark match-cluster prod --json"});
}

int run_spark(const SparkRequest& request, const GlobalOptions& options) {
  if (request.op == Op::SetVersion && request.version_given &&
      !pep440_key(trim_blanks(request.version))) {
    // As the menu's custom answer is checked: before anything else, a usage error.
    const std::string line =
        "Error: '" + escape_controls(request.version) + "' is not a valid version\n";
    std::fputs(line.c_str(), stderr);
    return 2;
  }
  std::optional<FileLock> lock;
  const bool changes =
      request.op == Op::SetVersion || (request.op == Op::MatchCluster && request.install);
  if (changes) {
    lock.emplace(guard_environment_for_change());
  } else {
    warn_if_stale_virtual_env();
  }
  if (changes || request.op == Op::Check) tell_interpreter();
  // With --json standard output carries the document alone: everything else plo and its children
  // write (pip, the install steps, questions) goes to standard error, without colour.
  const int document_fd = request.json ? set_output_aside() : STDOUT_FILENO;
  std::optional<InstallerRequest> installer = InstallerRequest{};
  if (changes) installer = installer_request_or_usage_error(request.installer);
  if (!installer) return 2;
  RealServices services;
  UserConsole console(options, {.no_color = request.json, .assume_yes = request.yes});
  TaskServices spark_services = services.spark(console.get(), std::move(*installer));
  spark_services.system = request.system;
  spark_services.keep_companions = request.keep_companions;
  spark_services.no_project = request.no_project;
  SwitchRecord record;
  if (request.json && request.op == Op::SetVersion) {
    spark_services.on_switch = [&record](const SwitchEvent& event) { record.add(event); };
    spark_services.capture_installer = true;
  }
  SparkTask task(std::move(spark_services));
  if (request.json) return run_json(task, request, document_fd, record);
  switch (request.op) {
    case Op::Check:
      return task.check() ? 0 : 1;
    case Op::Versions:
      task.show_versions();
      return 0;
    case Op::SetVersion:
      return (request.version_given ? task.set_version(std::string(trim_blanks(request.version)))
                                    : task.set_version())
                 ? 0
                 : 1;
    case Op::MatchCluster:
      if (task.match_cluster(request.compute_name, request.install)) return 0;
      hint_compute_name(request.compute_name);
      return 1;
    case Op::None:
      break;
  }
  return 2;
}

}  // namespace plo::cli
