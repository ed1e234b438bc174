// `plo sync` and `plo pin`. sync runs steps of two command groups (set-version's install phase,
// `plo java install`), which never include each other: the project layer drives the steps and the
// front end hands it those two as functions.

#include "project_commands.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "catalogue/pep440.h"
#include "catalogue/runtimes.h"
#include "compat/real_java_environment.h"
#include "console/write_all.h"
#include "download/folder_jdk_installer.h"
#include "environment/interpreter.h"
#include "environment/platform.h"
#include "help.h"
#include "installer_request.h"
#include "interpreter_line.h"
#include "java/java_task.h"
#include "locks.h"
#include "output.h"
#include "project/pin_check.h"
#include "project/pin_editor.h"
#include "project/pin_files.h"
#include "project/project_sync.h"
#include "runtimes/runtimes_task.h"
#include "services.h"
#include "spark/spark_task.h"
#include "util/atomic_write.h"
#include "util/escape.h"
#include "util/json_document.h"
#include "util/text_file.h"

namespace plo::cli {
namespace {

namespace fs = std::filesystem;

int run_sync(const ProjectRequest& request, const GlobalOptions& options) {
  const auto installer_asked = installer_request_or_usage_error(request.installer);
  if (!installer_asked) return 2;
  std::optional<FileLock> lock;
  if (!request.dry_run) lock.emplace(guard_environment_for_change());
  tell_interpreter();
  const int document_fd = request.json ? set_output_aside() : STDOUT_FILENO;
  RealServices services;
  UserConsole console(options, {.no_color = request.json, .assume_yes = request.yes});
  SparkTask spark(services.spark(console.get(), *installer_asked));
  RealJavaEnvironment java(services.runner, services.compat);
  FolderJdkInstaller installer(services.http, services.runner);
  JavaTask java_task({
      .console = console.get(),
      .compat = services.compat,
      .java = java,
      .platform = detect_platform,
      .installer = &installer,
  });
  const SyncServices sync{
      .console = console.get(),
      .compat = services.compat,
      .java = java,
      .cluster_version = [&](const std::string& name) { return spark.cluster_version_of(name); },
      .install_pyspark =
          [&](const std::string& version, const std::string& java_home) {
            return install_pyspark_for_step(console.get(), *installer_asked, version, java_home,
                                            request.system, request.keep_companions,
                                            request.no_project);
          },
      .install_jdk = [&](int major) { return java_task.install({.version = major}); },
      .install_delta =
          [&](const std::string& version) {
            // Without its dependencies: the PySpark sync just installed stays as it is. Through
            // the installer that installed it: a venv uv made may have no pip at all.
            const std::string python = find_interpreter();
            std::vector<std::string> argv = {python, "-m", "pip", "install"};
            try {
              const InstallerChoice choice = spark.switch_installer();
              if (choice.kind == InstallerKind::Uv) {
                argv = {choice.uv, "pip", "install", "--python", python};
              }
            } catch (const std::exception&) {
              // An interpreter that does not answer: pip's run below says so.
            }
            argv.insert(argv.end(), {"--no-deps", "delta-spark==" + version});
            const ProcessResult result = services.runner.run(
                {.argv = argv, .capture = false, .time_limit = std::chrono::minutes(10)});
            return result.exit_code == 0 && !result.timed_out;
          },
      .pyspark_installer = [&]() -> std::optional<std::string> {
        // Chosen as install_pyspark's install phase chooses it, on the same inputs.
        try {
          if (const auto kind = spark.switch_installer().kind) return installer_name(*kind);
        } catch (const std::exception&) {
          // An interpreter that does not answer: the install step says so.
        }
        return std::nullopt;
      },
      .package_index = &services.package_index,
  };
  const SyncReport report =
      sync_project(sync, {.yes = request.yes, .dry_run = request.dry_run}, fs::current_path());
  if (request.json) {
    auto document = sync_json(report);
    add_interpreter_fields(document);
    write_all(document_fd, json_text(document) + "\n");
  }
  return report.ok ? 0 : 1;
}

// The line [tool.plo] names for the installed PySpark: its line where it is the catalogue's
// newest of it, else the exact version (a later sync would otherwise move it).
std::string pinned_pyspark(const PySparkInfo& pyspark, const std::vector<VersionEntry>& versions) {
  for (const VersionEntry& entry : versions) {
    if (entry.major_minor == pyspark.major_minor) {
      return entry.version == pyspark.version ? pyspark.major_minor : pyspark.version;
    }
  }
  return pyspark.version;
}

int run_pin(const ProjectRequest& request, const GlobalOptions& options) {
  if (request.pyspark && !pep440_key(*request.pyspark)) {
    const std::string line =
        "Error: '" + escape_controls(*request.pyspark) + "' is not a valid version\n";
    std::fputs(line.c_str(), stderr);
    return 2;
  }
  warn_if_stale_virtual_env();
  RealServices services;
  UserConsole user(options, {});
  Console& c = user.get();

  PinValues values{.pyspark = request.pyspark, .java = request.java, .compute = request.compute};
  if (request.runtime) {
    const ManagedRuntime* runtime = find_runtime(*request.runtime);
    if (!runtime) {
      std::string closest;
      for (const std::string& name : closest_runtime_names(*request.runtime)) {
        closest += (closest.empty() ? "" : ", ") + name;
      }
      c.echo(c.style("Unknown runtime '" + escape_controls(*request.runtime) + "'", Color::Red));
      c.echo("  Closest: " + closest);
      return 1;
    }
    // The runtime names the PySpark and the Java: nothing is taken from this environment.
    values.runtime = runtime->name;
  }
  if (!values.pyspark && !values.compute && !values.runtime) {
    const auto pyspark = services.compat.get_pyspark_info();
    if (!pyspark) {
      c.echo(c.style("PySpark is not installed: nothing to pin", Color::Red));
      c.echo("  Give the line to pin: plo pin --pyspark 3.5");
      return 1;
    }
    values.pyspark = pinned_pyspark(*pyspark, services.compat.pyspark_versions());
  }
  if (!values.java && !values.runtime) {
    if (const auto java = services.compat.get_current_java()) values.java = java->version;
  }

  const fs::path here = fs::current_path();
  if (values.pyspark) {
    // A [tool.plo] that contradicts the project's uv or Poetry requirement would be undone by (or
    // undo) the next `uv sync`: refused before anything is written.
    std::optional<ProjectTarget> target;
    ProjectSpec asked;
    asked.file = "pyproject.toml";
    asked.pyspark = values.pyspark;
    asked.java = 17;  // any: only the PySpark is resolved here
    try {
      target = resolve_target(asked, services.compat.pyspark_versions(),
                              services.compat.pyspark_java_compatibility(), {});
    } catch (const ProjectFileError&) {
      // A line plo does not know: the pins are not compared.
    }
    if (target) {
      const auto refusal = pin_command_refusal(
          read_project_pins(gather_pin_texts(here)),
          {.as_written = *values.pyspark, .version = target->version, .exact = target->exact},
          interpreter_markers(services.compat));
      if (refusal) {
        c.echo(c.style("Error: " + refusal->front(), Color::Red));
        for (size_t i = 1; i < refusal->size(); ++i) c.echo("  " + (*refusal)[i]);
        return 1;
      }
    }
  }
  const fs::path file = find_project_file(here, false).value_or(here / "pyproject.toml");
  const FileLock lock = lock_project_file(file.string());
  std::string text;
  std::error_code error;
  if (fs::exists(fs::symlink_status(file, error))) {
    const FileContents contents = read_regular_file(file, kMaxProjectFileBytes);
    if (contents.status != FileContents::Status::Ok) {
      throw ProjectFileError(file.string() +
                             ": cannot be read (not a regular file of at most "
                             "1 MiB)");
    }
    text = contents.text;
  }
  const std::string edited = pin_text(text, values, file.string());
  std::string said;
  if (values.runtime) said += "runtime = \"" + *values.runtime + "\"";
  if (values.pyspark)
    said += (said.empty() ? "" : ", ") + ("pyspark = \"" + *values.pyspark + "\"");
  if (values.java)
    said += (said.empty() ? "" : ", ") + std::string("java = ") + std::to_string(*values.java);
  if (values.compute) {
    said += (said.empty() ? "" : ", ") + std::string("compute = \"") +
            escape_controls(*values.compute) + "\"";
  }
  if (edited == text) {
    c.echo(escape_controls(file.string()) + " already has " + said);
    return 0;
  }
  write_file_atomically(file, edited, 0644);
  c.echo(c.style("Wrote " + said + " to [tool.plo] in " + escape_controls(file.string()),
                 Color::Green));
  return 0;
}

}  // namespace

void add_project_commands(CLI::App& app, ProjectRequest& request) {
  using Op = ProjectRequest::Op;
  CLI::App* sync =
      app.add_subcommand("sync", "Make this environment match pyproject.toml's [tool.plo]");
  sync->add_flag("--yes,-y", request.yes,
                 "Install a missing JDK, and answer yes to the install's questions");
  sync->add_flag("--system", request.system,
                 "Allow the PySpark change in a Python that is no virtual or conda environment");
  sync->add_flag("--keep-companions", request.keep_companions, kKeepCompanionsHelp);
  sync->add_flag("--no-project", request.no_project, kNoProjectHelp);
  sync->add_flag("--dry-run", request.dry_run, "Print what would change, change nothing");
  sync->add_option("--installer", request.installer,
                   "pip (the default) or uv for the PySpark switch; also PLO_INSTALLER, "
                   "[tool.plo] installer")
      ->check(CLI::IsMember({"pip", "uv"}));
  sync->add_flag("--json", request.json, "One JSON document on standard output");
  sync->callback([&request] { request.op = Op::Sync; });
  set_examples(*sync, {"plo sync                  # PySpark, Java and the pin, as the file says",
                       "plo sync --dry-run        # only show what would change",
                       "plo sync --yes            # in a Dockerfile or CI job: no questions"});

  CLI::App* pin = app.add_subcommand(
      "pin", "Write this environment's PySpark and Java into pyproject.toml's [tool.plo]");
  pin->add_option("--pyspark", request.pyspark, "A PySpark line (3.5) or version (3.5.3)");
  pin->add_option("--java", request.java, "A Java major version")->check(CLI::Range(1, 999));
  pin->add_option("--compute", request.compute,
                  "A compute engine of computes.yml whose cluster the PySpark line follows");
  pin->add_option("--runtime", request.runtime,
                  "A managed runtime of 'plo runtimes' (glue-5.0): its PySpark and Java");
  pin->callback([&request] { request.op = Op::Pin; });
  set_examples(*pin, {"plo pin                        # what is installed now",
                      "plo pin --pyspark 3.5 --java 17",
                      "plo pin --compute prod         # follow cluster prod's Spark",
                      "plo pin --runtime glue-5.0     # what AWS Glue 5.0 runs"});
}

int run_project(const ProjectRequest& request, const GlobalOptions& options) {
  switch (request.op) {
    case ProjectRequest::Op::Sync:
      return run_sync(request, options);
    case ProjectRequest::Op::Pin:
      return run_pin(request, options);
    case ProjectRequest::Op::None:
      break;
  }
  return 2;
}

}  // namespace plo::cli
