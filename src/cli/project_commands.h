#pragma once

#include <optional>
#include <string>

#include "user_console.h"

// CLI11 stays in the .cpp files that build the command line: the class is all a header needs.
namespace CLI {
class App;
}  // namespace CLI

namespace plo::cli {

// `plo sync` and `plo pin`: which one, with its flags.
struct ProjectRequest {
  enum class Op { None, Sync, Pin } op = Op::None;
  bool yes = false;                    // sync --yes
  bool system = false;                 // sync --system
  bool keep_companions = false;        // sync --keep-companions
  bool no_project = false;             // sync --no-project
  bool dry_run = false;                // sync --dry-run
  bool json = false;                   // sync --json
  std::string installer;               // sync --installer pip|uv
  std::optional<std::string> pyspark;  // pin --pyspark
  std::optional<int> java;             // pin --java
  std::optional<std::string> compute;  // pin --compute
  std::optional<std::string> runtime;  // pin --runtime
};

// Adds `sync` and `pin` to the command line, filling `request` when one of them is given.
void add_project_commands(CLI::App& app, ProjectRequest& request);

// Runs the requested project command on the real machine; the exit status.
int run_project(const ProjectRequest& request, const GlobalOptions& options);

}  // namespace plo::cli
