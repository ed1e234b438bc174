#include "console/terminal_console.h"

#include <unistd.h>

#include <fmt/format.h>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "cancel/cancel.h"
#include "console/answers.h"
#include "console/color.h"
#include "console/write_all.h"
#include "util/escape.h"
#include "util/secrets.h"
#include "util/text.h"

namespace plo {

TerminalConsole::TerminalConsole(int in_fd, int out_fd, bool color)
    : out_fd_(out_fd), color_(color), terminal_(::isatty(out_fd) == 1), reader_(in_fd) {}

TerminalConsole::~TerminalConsole() {
  if (!status_shown_) return;
  try {
    write_all("\n");
  } catch (...) {
    // A closed output has no line to end.
  }
}

std::unique_ptr<TerminalConsole> TerminalConsole::on_standard_streams(ColorChoice choice) {
  return std::make_unique<TerminalConsole>(STDIN_FILENO, STDOUT_FILENO,
                                           color_wanted(choice, ::isatty(STDOUT_FILENO) == 1));
}

void TerminalConsole::write_all(std::string_view text) {
  // Every line, question and status passes here: no secret reaches the terminal.
  plo::write_all(out_fd_, without_secrets(text));
}

void TerminalConsole::echo(std::string_view text) {
  std::string line = status_shown_ ? "\n" : "";
  status_shown_ = false;
  line += text;
  line += '\n';
  write_all(line);
}

void TerminalConsole::status(std::string_view text) {
  if (!terminal_) return echo(text);
  // Back to the line's start, the new text, then the rest of the old one erased.
  write_all("\r" + std::string(text) + "\x1b[K");
  status_shown_ = true;
}

void TerminalConsole::echo_err(std::string_view text) {
  try {
    plo::write_all(STDERR_FILENO, without_secrets(text) + "\n");
  } catch (const OutputClosed&) {
    // Nobody reads the diagnostics; the report goes on.
  } catch (const std::system_error&) {
  }
}

std::string TerminalConsole::style(std::string_view text, Color fg, bool bold) const {
  return color_ ? ansi_style(text, fg, bold) : std::string(text);
}

std::string TerminalConsole::ask(std::string_view question_line) {
  write_all(question_line);
  std::optional<std::string> answer = reader_.read_line();
  if (!answer) {
    if (reader_.overlong()) {
      echo(fmt::format("Error: the answer is longer than {} MiB", LineReader::kMaxLineBytes >> 20));
    }
    throw Abort();
  }
  return *answer;
}

long long TerminalConsole::prompt_int(std::string_view question) {
  const std::string line = std::string(question) + ": ";
  for (;;) {
    const std::string entry = ask(line);
    if (trim_blanks(entry).empty()) continue;
    if (const auto value = parse_integer_answer(entry)) return *value;
    echo("Error: '" + escape_controls(trim_blanks(entry)) + "' is not a valid integer.");
  }
}

std::string TerminalConsole::prompt_text(std::string_view question) {
  const std::string line = std::string(question) + ": ";
  for (;;) {
    std::string entry = ask(line);
    if (!trim_blanks(entry).empty()) return entry;
  }
}

bool TerminalConsole::confirm(std::string_view question, bool default_value) {
  const std::string line = std::string(question) + (default_value ? " [Y/n]: " : " [y/N]: ");
  for (;;) {
    const std::string entry = ask(line);
    if (trim_blanks(entry).empty()) return default_value;
    if (const auto answer = parse_yes_no_answer(entry)) return *answer;
    echo("Error: invalid input");
  }
}

}  // namespace plo
