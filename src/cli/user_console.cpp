#include "user_console.h"

#include <unistd.h>

namespace plo::cli {

UserConsole::UserConsole(const GlobalOptions& options, ConsoleUse use)
    : terminal_(use.no_color ? std::make_unique<TerminalConsole>(STDIN_FILENO, STDOUT_FILENO, false)
                             : TerminalConsole::on_standard_streams(options.color)),
      top_(terminal_.get()) {
  if (options.quiet && !use.document) {
    quiet_ = std::make_unique<QuietConsole>(*top_);
    top_ = quiet_.get();
  }
  if (use.assume_yes) {
    assume_yes_ = std::make_unique<AssumeYesConsole>(*top_);
    top_ = assume_yes_.get();
  }
}

}  // namespace plo::cli
