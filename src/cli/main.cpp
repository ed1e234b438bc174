// plo's command-line front end: parses the command line, runs the chosen command group on the real
// machine and turns its result into the exit status; the one place that reports errors.

#include <CLI/CLI.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cancel/interrupt.h"
#include "completion.h"
#include "compute_commands.h"
#include "console/write_all.h"
#include "doctor_commands.h"
#include "help.h"
#include "java_commands.h"
#include "output.h"
#include "project_commands.h"
#include "runtimes_commands.h"
#include "spark_commands.h"
#include "usage_error.h"
#include "user_console.h"
#include "util/escape.h"
#include "util/secrets.h"
#include "util/verbosity.h"

namespace {

// `plo completion SHELL` and the hidden `plo __complete KIND` its scripts call.
struct CompletionRequest {
  enum class Op { None, Script, Words } op = Op::None;
  std::string word;
};

void add_completion_commands(CLI::App& app, CompletionRequest& request) {
  CLI::App* completion =
      app.add_subcommand("completion", "Print the shell completion script (bash, zsh or fish)");
  plo::cli::set_examples(*completion,
                         {"source <(plo completion bash)           # this bash session",
                          "plo completion fish > ~/.config/fish/completions/plo.fish"});
  completion->add_option("SHELL", request.word, "bash, zsh or fish")
      ->required()
      ->check(CLI::IsMember({"bash", "zsh", "fish"}));
  completion->callback([&request] { request.op = CompletionRequest::Op::Script; });
  // Called by the completion scripts for the words that depend on the machine.
  CLI::App* complete = app.add_subcommand("__complete", "");
  complete->group("");
  complete->add_option("KIND", request.word)->required();
  complete->callback([&request] { request.op = CompletionRequest::Op::Words; });
}

// -q, -v and --color, accepted after any command.
void add_global_options(CLI::App& app, plo::cli::GlobalOptions& options) {
  constexpr auto kGroup = "Global options";
  CLI::Option* quiet = app.add_flag("-q,--quiet", options.quiet,
                                    "Print only errors and the questions that must be asked; "
                                    "drop pip's progress")
                           ->group(kGroup);
  CLI::Option* verbose =
      app.add_flag("-v,--verbose", options.verbose,
                   "Also print each child process before it runs, what the captured ones wrote "
                   "(the smoke test's own output) and where cached answers were used")
          ->group(kGroup);
  quiet->excludes(verbose);
  app.add_option_function<std::string>(
         "--color",
         [&options](const std::string& when) {
           options.color = when == "always"  ? plo::ColorChoice::Always
                           : when == "never" ? plo::ColorChoice::Never
                                             : plo::ColorChoice::Auto;
         },
         "Colour the output: auto, always or never (beats NO_COLOR and FORCE_COLOR)")
      ->check(CLI::IsMember({"auto", "always", "never"}))
      ->option_text("WHEN")
      ->group(kGroup);
}

int run_completion(const CompletionRequest& request) {
  if (request.op == CompletionRequest::Op::Script) {
    plo::write_all(STDOUT_FILENO, plo::completion_script(request.word));
    return 0;
  }
  std::string words;
  for (const auto& word : plo::completion_words(request.word, "/proc/self/exe")) {
    words += word + "\n";
  }
  plo::write_all(STDOUT_FILENO, words);
  return 0;
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

  CLI::App app(
      "Keep the PySpark of your Python environment consistent with Java and with your "
      "clusters.",
      "plo");
  // Set before the commands are added: they inherit the help layout and take the global options.
  app.formatter(plo::cli::help_formatter());
  app.fallthrough();
  app.set_help_flag("-h,--help", "Print help");
  app.set_version_flag("-V,--version", "plo " PLO_VERSION, "Print the version");
  app.require_subcommand(1);
  plo::cli::GlobalOptions options;
  add_global_options(app, options);
  plo::cli::SparkRequest spark;
  plo::cli::JavaRequest java;
  plo::cli::ComputeRequest compute;
  plo::cli::ProjectRequest project;
  CompletionRequest completion;
  plo::cli::add_spark_commands(app, spark);
  plo::cli::add_java_commands(app, java);
  plo::cli::add_compute_commands(app, compute);
  plo::cli::DoctorRequest doctor;
  plo::cli::add_doctor_command(app, doctor);
  plo::cli::add_project_commands(app, project);
  plo::cli::RuntimesRequest runtimes;
  plo::cli::add_runtimes_commands(app, runtimes);
  add_completion_commands(app, completion);
  std::vector<std::string> help_words;
  CLI::App* help = app.add_subcommand("help", "Print the help of plo or of a command");
  help->add_option("COMMAND", help_words, "A command, as in 'plo help spark set-version'");
  plo::cli::set_examples(app,
                         {"plo spark check                 # PySpark, Java and whether they fit",
                          "plo spark set-version           # choose and install a PySpark",
                          "plo java set 17                 # pin Java 17 for this environment",
                          "plo spark match-cluster prod    # the PySpark that fits cluster prod",
                          "plo doctor                      # everything that can break a start"});

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    // The help of the command the flag came with.
    std::fputs(plo::cli::help_text(plo::cli::chosen_command(app)).c_str(), stdout);
    return 0;
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return plo::cli::report_usage_error(app, e);
  }
  if (help->parsed()) return plo::cli::print_help_of(app, help_words);
  plo::set_verbosity(options.quiet     ? plo::Verbosity::Quiet
                     : options.verbose ? plo::Verbosity::Verbose
                                       : plo::Verbosity::Normal);

  try {
    plo::install_interrupt_handlers();
    if (spark.op != plo::cli::SparkRequest::Op::None) return plo::cli::run_spark(spark, options);
    if (java.op != plo::cli::JavaRequest::Op::None) return plo::cli::run_java(java, options);
    if (compute.op != plo::cli::ComputeRequest::Op::None) {
      return plo::cli::run_compute(compute, options);
    }
    if (doctor.chosen) return plo::cli::run_doctor(doctor, options);
    if (project.op != plo::cli::ProjectRequest::Op::None) {
      return plo::cli::run_project(project, options);
    }
    if (runtimes.op != plo::cli::RuntimesRequest::Op::None) {
      return plo::cli::run_runtimes(runtimes, options);
    }
    if (completion.op != CompletionRequest::Op::None) return run_completion(completion);
    return 2;
  } catch (const plo::OutputClosed&) {
    return 141;  // as a shell reports a command ended by a closed pipe
  } catch (const plo::Abort&) {
    std::fputs("Aborted!\n", stderr);
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Error: %s\n",
                 plo::escape_controls(plo::without_secrets(e.what())).c_str());
    return 1;
  }
}
