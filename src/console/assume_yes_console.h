#pragma once

#include "console/console.h"

namespace plo {

// A console that answers every yes/no question with yes (`--yes`), writing the question and the
// answer as one line so that a log shows what was decided; everything else goes to `inner`.
class AssumeYesConsole : public Console {
 public:
  explicit AssumeYesConsole(Console& inner) : inner_(inner) {}

  void echo(std::string_view text = {}) override { inner_.echo(text); }
  void status(std::string_view text) override { inner_.status(text); }
  bool redraws() const override { return inner_.redraws(); }
  void echo_err(std::string_view text) override { inner_.echo_err(text); }
  std::string style(std::string_view text, Color fg, bool bold = false) const override {
    return inner_.style(text, fg, bold);
  }
  long long prompt_int(std::string_view question) override { return inner_.prompt_int(question); }
  std::string prompt_text(std::string_view question) override {
    return inner_.prompt_text(question);
  }
  bool confirm(std::string_view question, bool default_value) override;

 private:
  Console& inner_;
};

}  // namespace plo
