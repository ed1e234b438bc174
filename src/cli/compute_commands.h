#pragma once

#include <string>

#include "compute/compute_task.h"
#include "services.h"
#include "user_console.h"

// CLI11 stays in the .cpp files that build the command line: the class is all a header needs.
namespace CLI {
class App;
}  // namespace CLI

namespace plo::cli {

// `plo compute ...`: which subcommand, with its arguments.
struct ComputeRequest {
  enum class Op { None, List, Test, Add, Remove } op = Op::None;
  std::string name;  // test, remove
  bool json = false;
  NewCompute compute;  // add
};

// Adds the `compute` group to the command line, filling `request` when one of its commands is
// given.
void add_compute_commands(CLI::App& app, ComputeRequest& request);

// The compute commands' services on the real machine; `spark` gives `compute test` its cluster
// version report.
ComputeServices real_compute_services(RealServices& services, Console& console,
                                      MasterProbe& masters, DatabricksApi& databricks,
                                      SparkTask& spark);

// Runs the requested compute command on the real machine; the exit status.
int run_compute(const ComputeRequest& request, const GlobalOptions& options);

}  // namespace plo::cli
