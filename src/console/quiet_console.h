#pragma once

#include <string>
#include <vector>

#include "console/console.h"

namespace plo {

// The console of -q: passes on only the lines that carry an error (a part styled red) and every
// question; the rest of the report is dropped.
class QuietConsole : public Console {
 public:
  explicit QuietConsole(Console& inner) : inner_(inner) {}

  void echo(std::string_view text = {}) override;
  std::string style(std::string_view text, Color fg, bool bold = false) const override;
  long long prompt_int(std::string_view question) override { return inner_.prompt_int(question); }
  std::string prompt_text(std::string_view question) override {
    return inner_.prompt_text(question);
  }
  bool confirm(std::string_view question, bool default_value) override {
    return inner_.confirm(question, default_value);
  }

 private:
  Console& inner_;
  // The red parts styled since the last line: a line that holds one is an error.
  mutable std::vector<std::string> red_parts_;
};

}  // namespace plo
