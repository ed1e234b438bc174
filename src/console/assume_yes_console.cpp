#include "console/assume_yes_console.h"

#include <string>

namespace plo {

bool AssumeYesConsole::confirm(std::string_view question, bool default_value) {
  // The same question line a person would see, then the answer given for them.
  inner_.echo(std::string(question) + (default_value ? " [Y/n]: " : " [y/N]: ") + "y");
  return true;
}

}  // namespace plo
