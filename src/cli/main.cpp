// plo's command-line front end: parses the command line, runs the chosen command group on the real
// machine and turns its result into the exit status; the one place that reports errors.

#include <CLI/CLI.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>

#include "cancel/interrupt.h"
#include "completion.h"
#include "compute_commands.h"
#include "console/write_all.h"
#include "java_commands.h"
#include "output.h"
#include "spark_commands.h"
#include "util/escape.h"
#include "util/secrets.h"

namespace {

// `plo completion SHELL` and the hidden `plo __complete KIND` its scripts call.
struct CompletionRequest {
  enum class Op { None, Script, Words } op = Op::None;
  std::string word;
};

void add_completion_commands(CLI::App& app, CompletionRequest& request) {
  CLI::App* completion =
      app.add_subcommand("completion", "Print the shell completion script (bash, zsh or fish)");
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

  CLI::App app("plo: keep PySpark consistent with Java and your clusters", "plo");
  app.set_version_flag("--version", "plo " PLO_VERSION);
  app.require_subcommand(1);
  plo::cli::SparkRequest spark;
  plo::cli::JavaRequest java;
  plo::cli::ComputeRequest compute;
  CompletionRequest completion;
  plo::cli::add_spark_commands(app, spark);
  plo::cli::add_java_commands(app, java);
  plo::cli::add_compute_commands(app, compute);
  add_completion_commands(app, completion);

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

  try {
    plo::install_interrupt_handlers();
    if (spark.op != plo::cli::SparkRequest::Op::None) return plo::cli::run_spark(spark);
    if (java.op != plo::cli::JavaRequest::Op::None) return plo::cli::run_java(java);
    if (compute.op != plo::cli::ComputeRequest::Op::None) return plo::cli::run_compute(compute);
    if (completion.op != CompletionRequest::Op::None) return run_completion(completion);
    return 2;
  } catch (const plo::OutputClosed&) {
    return 141;  // as a shell reports a command ended by a closed pipe
  } catch (const plo::Abort&) {
    std::fputs("Aborted!\n", stderr);
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Error: %s\n",
                 plo::escape_controls(plo::without_tokens(e.what())).c_str());
    return 1;
  }
}
