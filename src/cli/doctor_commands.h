#pragma once

#include "user_console.h"

// CLI11 stays in the .cpp files that build the command line: the class is all a header needs.
namespace CLI {
class App;
}  // namespace CLI

namespace plo::cli {

// `plo doctor` and its flags.
struct DoctorRequest {
  bool chosen = false;
  bool json = false;      // --json: the report as one JSON document on standard output
  bool clusters = false;  // --clusters: test every compute of computes.yml
  bool deep = false;      // --deep: start a local session too
};

// Adds `doctor` to the command line, filling `request` when it is given.
void add_doctor_command(CLI::App& app, DoctorRequest& request);

// Runs the doctor on the real machine; 0 when no check is an error, else 1.
int run_doctor(const DoctorRequest& request, const GlobalOptions& options);

}  // namespace plo::cli
