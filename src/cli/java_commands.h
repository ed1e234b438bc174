#pragma once

#include <optional>
#include <string>

#include "user_console.h"

// CLI11 stays in the .cpp files that build the command line: the class is all a header needs.
namespace CLI {
class App;
}  // namespace CLI

namespace plo::cli {

// `plo java ...`: which subcommand, with its arguments.
struct JavaRequest {
  enum class Op { None, Search, Set, Unset, Env, Install, Uninstall } op = Op::None;
  bool json = false;
  bool set = false;    // install: pin it
  bool yes = false;    // set, install, uninstall: no questions
  bool guide = false;  // install: only tell how
  std::optional<std::string> choice;
  std::string shell = "sh";
  std::optional<int> version;
};

// Adds the `java` group to the command line, filling `request` when one of its commands is given.
void add_java_commands(CLI::App& app, JavaRequest& request);

// Runs the requested java command on the real machine; the exit status.
int run_java(const JavaRequest& request, const GlobalOptions& options);

}  // namespace plo::cli
