#pragma once

#include <string>

#include "user_console.h"

// CLI11 stays in the .cpp files that build the command line: the class is all a header needs.
namespace CLI {
class App;
}  // namespace CLI

namespace plo::cli {

// `plo spark ...`: which subcommand, with its arguments and flags.
struct SparkRequest {
  enum class Op { None, Check, Versions, SetVersion, MatchCluster } op = Op::None;
  std::string compute_name;
  bool json = false;             // --json: the report as one JSON document on standard output
  bool yes = false;              // --yes: answer the yes/no questions with yes
  bool install = false;          // match-cluster --install
  std::string version;           // set-version VERSION
  bool version_given = false;    // without VERSION: the menu
  std::string installer;         // --installer pip|uv of set-version and match-cluster
  bool system = false;           // --system: may change a Python outside any environment
  bool keep_companions = false;  // --keep-companions: the packages beside PySpark stay
  bool no_project = false;       // --no-project: the project's requirement and lock stay
};

// Adds the `spark` group to the command line, filling `request` when one of its commands is given.
void add_spark_commands(CLI::App& app, SparkRequest& request);

// Runs the requested spark command on the real machine; the exit status.
int run_spark(const SparkRequest& request, const GlobalOptions& options);

}  // namespace plo::cli
