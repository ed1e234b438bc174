// plo's command-line front end: parses `plo spark ...`, builds the task on the real machine and
// turns the operation's result into the exit status.

#include <CLI/CLI.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <system_error>

#include "cancel/interrupt.h"
#include "compat/databricks_client.h"
#include "compat/http_client.h"
#include "compat/interpreter.h"
#include "compat/real_compat_service.h"
#include "completion.h"
#include "console/assume_yes_console.h"
#include "console/terminal_console.h"
#include "process/posix_runner.h"
#include "registry/compute_registry.h"
#include "spark/json_report.h"
#include "spark/spark_task.h"

namespace {

enum class Command { None, Check, Versions, SetVersion, MatchCluster, Completion, Complete };

// The options of the spark commands and of completion.
struct Flags {
  bool json = false;           // --json: the report as one JSON document on standard output
  bool yes = false;            // --yes: answer the yes/no questions with yes
  bool install = false;        // match-cluster --install
  std::string version;         // set-version VERSION
  bool version_given = false;  // without VERSION: the menu
  std::string word;            // completion SHELL, __complete KIND
};

void write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n >= 0) {
      text.remove_prefix(static_cast<size_t>(n));
    } else if (errno == EPIPE || errno == EBADF) {
      throw plo::OutputClosed();
    } else if (errno != EINTR) {
      throw std::system_error(errno, std::generic_category(), "cannot write to standard output");
    }
  }
}

// The spark commands with --json: the report as one document on `document_fd`.
int run_json(plo::SparkTask& task, Command command, const std::string& compute_name,
             const Flags& flags, int document_fd) {
  const auto print = [&](const auto& report, auto to_json) {
    if (report.error) std::rethrow_exception(report.error);
    write_all(document_fd, plo::json_text(to_json(report)));
  };
  switch (command) {
    case Command::Check: {
      const plo::CheckReport report = task.check_report();
      print(report, plo::check_json);
      return report.ok() ? 0 : 1;
    }
    case Command::Versions:
      print(task.versions_report(), plo::versions_json);
      return 0;
    case Command::MatchCluster: {
      const plo::MatchReport report = task.match_report(compute_name);
      if (report.error) std::rethrow_exception(report.error);
      auto document = plo::match_json(report);
      bool ok = report.ok();
      if (flags.install) {
        // The install's own lines and pip's output go to standard error meanwhile.
        const auto installed = task.install_for_cluster(report);
        document["install"] = {
            {"version", installed.version ? nlohmann::ordered_json(*installed.version)
                                          : nlohmann::ordered_json(nullptr)},
            {"ok", installed.ok}};
        ok = installed.ok;
      }
      write_all(document_fd, plo::json_text(document));
      return ok ? 0 : 1;
    }
    default:
      return 2;
  }
}

int run(Command command, const std::string& compute_name, const Flags& flags) {
  if (command == Command::Completion) {
    write_all(STDOUT_FILENO, plo::completion_script(flags.word));
    return 0;
  }
  if (command == Command::Complete) {
    std::string words;
    for (const auto& word : plo::completion_words(flags.word, "/proc/self/exe")) {
      words += word + "\n";
    }
    write_all(STDOUT_FILENO, words);
    return 0;
  }

  // With --json standard output carries the document alone: everything else plo and its children
  // write (pip, the install steps, questions) goes to standard error, without colour.
  int document_fd = STDOUT_FILENO;
  if (flags.json) {
    document_fd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (document_fd < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
      throw std::system_error(errno, std::generic_category(), "cannot set up standard output");
    }
  }
  plo::PosixProcessRunner runner;
  plo::CurlHttpClient http;
  plo::RealCompatService compat(runner, http);
  const std::unique_ptr<plo::TerminalConsole> terminal =
      flags.json ? std::make_unique<plo::TerminalConsole>(STDIN_FILENO, STDOUT_FILENO, false)
                 : plo::TerminalConsole::on_standard_streams();
  plo::AssumeYesConsole assume_yes(*terminal);
  plo::Console& console = flags.yes ? static_cast<plo::Console&>(assume_yes) : *terminal;
  plo::SparkTask task({
      .console = console,
      .compat = compat,
      .runner = runner,
      .interpreter = plo::find_interpreter,
      .compute_registry = [] { return plo::YamlComputeRegistry::from_plo_home(); },
      .databricks =
          [&runner] {
            return std::make_unique<plo::InterpreterDatabricksClient>(runner,
                                                                      plo::find_interpreter());
          },
  });
  if (flags.json) return run_json(task, command, compute_name, flags, document_fd);
  switch (command) {
    case Command::Check:
      return task.check() ? 0 : 1;
    case Command::Versions:
      task.show_versions();
      return 0;
    case Command::SetVersion:
      return (flags.version_given ? task.set_version(flags.version) : task.set_version()) ? 0 : 1;
    case Command::MatchCluster:
      return task.match_cluster(compute_name, flags.install) ? 0 : 1;
    default:
      break;
  }
  return 2;
}

// Opens /dev/null on any of the standard descriptors that is closed, so that no pipe or file plo
// opens later can take its number and receive output meant for the user.
void ensure_standard_descriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
      if (opened >= 0 && opened != fd) {
        ::dup2(opened, fd);
        ::close(opened);
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  ensure_standard_descriptors();
  // A closed pipe shows up as a write error that ends plo quietly, never as a signal.
  std::signal(SIGPIPE, SIG_IGN);

  CLI::App app("plo: keep PySpark consistent with Java and your clusters", "plo");
  app.set_version_flag("--version", "plo " PLO_VERSION);
  app.require_subcommand(1);
  CLI::App* spark = app.add_subcommand("spark", "Manage the PySpark of your Python environment");
  spark->require_subcommand(1);

  Command command = Command::None;
  std::string compute_name;
  Flags flags;
  constexpr auto kJsonHelp = "Print the report as one JSON document (schema in the README)";
  constexpr auto kYesHelp = "Answer yes to 'Install anyway?' and 'Rollback to PySpark ...?'";
  CLI::App* check = spark->add_subcommand(
      "check", "Show the installed PySpark, the current Java and whether they fit");
  check->add_flag("--json", flags.json, kJsonHelp);
  check->callback([&] { command = Command::Check; });
  CLI::App* versions =
      spark->add_subcommand("versions", "Show the PySpark/Java compatibility matrix");
  versions->add_flag("--json", flags.json, kJsonHelp);
  versions->callback([&] { command = Command::Versions; });
  CLI::App* set_version =
      spark->add_subcommand("set-version", "Choose, install and verify a PySpark version");
  CLI::Option* version_given =
      set_version->add_option("VERSION", flags.version,
                              "Install this version without the menu: a full version (3.5.3), or a "
                              "line (3.5) for the newest version plo knows of it");
  set_version->add_flag("--yes,-y", flags.yes, kYesHelp);
  set_version->callback([&] {
    command = Command::SetVersion;
    flags.version_given = version_given->count() > 0;
  });
  CLI::App* match = spark->add_subcommand(
      "match-cluster", "Detect Spark version from a cluster and suggest compatible PySpark");
  match->add_option("COMPUTE_NAME", compute_name, "A compute engine of computes.yml")->required();
  match->add_flag("--json", flags.json, kJsonHelp);
  match->add_flag("--install", flags.install,
                  "After a mismatch, install the PySpark that fits the cluster");
  match->add_flag("--yes,-y", flags.yes, kYesHelp);
  match->callback([&] { command = Command::MatchCluster; });

  CLI::App* completion =
      app.add_subcommand("completion", "Print the shell completion script (bash, zsh or fish)");
  completion->add_option("SHELL", flags.word, "bash, zsh or fish")
      ->required()
      ->check(CLI::IsMember({"bash", "zsh", "fish"}));
  completion->callback([&] { command = Command::Completion; });
  // Called by the completion scripts for the words that depend on the machine.
  CLI::App* complete = app.add_subcommand("__complete", "");
  complete->group("");
  complete->add_option("KIND", flags.word)->required();
  complete->callback([&] { command = Command::Complete; });

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return 2;
  }

  plo::install_interrupt_handlers();
  try {
    return run(command, compute_name, flags);
  } catch (const plo::OutputClosed&) {
    return 141;  // as a shell reports a command ended by a closed pipe
  } catch (const plo::Abort&) {
    std::fputs("Aborted!\n", stderr);
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Error: %s\n", e.what());
    return 1;
  }
}
