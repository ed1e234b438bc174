#pragma once

#include <memory>

#include "console/color.h"
#include "console/console.h"
#include "console/line_reader.h"

namespace plo {

// The console on real file descriptors: lines to `out_fd`, answers from `in_fd`.
class TerminalConsole : public Console {
 public:
  TerminalConsole(int in_fd, int out_fd, bool color);
  // Ends a status line left on screen, so that what follows (an error, the prompt) starts a line.
  ~TerminalConsole() override;
  TerminalConsole(const TerminalConsole&) = delete;
  TerminalConsole& operator=(const TerminalConsole&) = delete;

  // The console on standard input and output, with colour decided once from `choice`, the
  // environment and the terminal.
  static std::unique_ptr<TerminalConsole> on_standard_streams(
      ColorChoice choice = ColorChoice::Auto);

  void echo(std::string_view text = {}) override;
  void status(std::string_view text) override;
  bool redraws() const override { return terminal_; }
  void echo_err(std::string_view text) override;
  std::string style(std::string_view text, Color fg, bool bold = false) const override;
  long long prompt_int(std::string_view question) override;
  std::string prompt_text(std::string_view question) override;
  bool confirm(std::string_view question, bool default_value) override;

 private:
  void write_all(std::string_view text);
  // Writes the question line and reads the answer; throws Abort at end of input.
  std::string ask(std::string_view question_line);

  int out_fd_;
  bool color_;
  bool terminal_;
  bool status_shown_ = false;  // a status line is on screen, without its line end
  LineReader reader_;
};

}  // namespace plo
