#pragma once

#include <string>
#include <string_view>

namespace plo {

// The five colours the task's output uses.
enum class Color { Red, Green, Yellow, Blue, Cyan };

// The only way the task talks to the user: lines on standard output and typed questions.
class Console {
 public:
  virtual ~Console() = default;

  // Writes the text and one line end to standard output, flushed at once.
  virtual void echo(std::string_view text = {}) = 0;

  // Shows a line that the next status() replaces: redrawn in place where standard output is a
  // terminal, else written as a plain line. An echo() after it starts on a line of its own.
  virtual void status(std::string_view text) { echo(text); }

  // Whether status() redraws in place (standard output is a terminal).
  virtual bool redraws() const { return false; }
  // Writes the text and one line end to standard error: a diagnostic beside the report, never
  // part of it. A closed standard error is ignored.
  virtual void echo_err(std::string_view text) = 0;

  // Returns the text marked for display in that colour (and bold); prints nothing.
  virtual std::string style(std::string_view text, Color fg, bool bold = false) const = 0;

  // Asks until an integer is entered; numbers beyond the type's range are clamped to its bounds.
  virtual long long prompt_int(std::string_view question) = 0;

  // Asks until a non-empty text is entered and returns it as typed.
  virtual std::string prompt_text(std::string_view question) = 0;

  // Asks a yes/no question; an empty answer gives `default_value`.
  virtual bool confirm(std::string_view question, bool default_value) = 0;
};

}  // namespace plo
