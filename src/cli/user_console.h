#pragma once

#include <memory>

#include "console/assume_yes_console.h"
#include "console/color.h"
#include "console/quiet_console.h"
#include "console/terminal_console.h"

namespace plo::cli {

// The options every command takes (-q, -v, --color).
struct GlobalOptions {
  bool quiet = false;
  bool verbose = false;
  ColorChoice color = ColorChoice::Auto;
};

// How a command wants to talk to the user.
struct ConsoleUse {
  bool no_color = false;    // --json: nothing coloured
  bool document = false;    // what it prints is a --json document: never quieted
  bool assume_yes = false;  // --yes
};

// The console a command talks through: the terminal, quieted by -q, answering yes with --yes.
class UserConsole {
 public:
  UserConsole(const GlobalOptions& options, ConsoleUse use);
  Console& get() { return *top_; }

 private:
  std::unique_ptr<TerminalConsole> terminal_;
  std::unique_ptr<QuietConsole> quiet_;
  std::unique_ptr<AssumeYesConsole> assume_yes_;
  Console* top_;
};

}  // namespace plo::cli
