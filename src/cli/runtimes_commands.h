#pragma once

#include <optional>
#include <string>

#include "user_console.h"

// CLI11 stays in the .cpp files that build the command line: the class is all a header needs.
namespace CLI {
class App;
}  // namespace CLI

namespace plo::cli {

// `plo runtimes [list]`, `plo runtimes show NAME`, `plo runtimes use NAME`: which one, with its
// flags.
struct RuntimesRequest {
  enum class Op { None, List, Show, Use } op = Op::None;
  std::optional<std::string> platform;  // list --platform
  std::string name;                     // show, use
  bool json = false;                    // list, show
  bool yes = false;                     // use --yes
  bool system = false;                  // use --system
  std::string installer;                // use --installer pip|uv
};

// Adds `runtimes` to the command line, filling `request` when it is given.
void add_runtimes_commands(CLI::App& app, RuntimesRequest& request);

// Runs the requested runtimes command on the real machine; the exit status.
int run_runtimes(const RuntimesRequest& request, const GlobalOptions& options);

}  // namespace plo::cli
