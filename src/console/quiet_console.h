#pragma once

#include <deque>
#include <string>
#include <vector>

#include "console/console.h"

namespace plo {

// The console of -q: passes on only the lines that carry an error (a part styled red) and the
// questions; a question that is really asked comes with the lines held back since the last one
// (the menu it chooses from, the warning it answers), so that it can be answered.
class QuietConsole : public Console {
 public:
  explicit QuietConsole(Console& inner) : inner_(inner) {}

  void echo(std::string_view text = {}) override;
  // Diagnostics on standard error are not the report: -q keeps them.
  void echo_err(std::string_view text) override { inner_.echo_err(text); }
  std::string style(std::string_view text, Color fg, bool bold = false) const override;
  long long prompt_int(std::string_view question) override;
  std::string prompt_text(std::string_view question) override;
  bool confirm(std::string_view question, bool default_value) override;

  // The most lines held back for a question; older ones are dropped.
  static constexpr size_t kMaxHeldLines = 200;

 private:
  // Shows the lines held back, before a question.
  void release_held();

  Console& inner_;
  // The red parts styled since the last line: a line that holds one is an error.
  mutable std::vector<std::string> red_parts_;
  std::deque<std::string> held_;
};

}  // namespace plo
