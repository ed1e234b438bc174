#include "usage_error.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "help.h"
#include "util/escape.h"
#include "util/secrets.h"
#include "util/suggest.h"

namespace plo::cli {
namespace {

std::vector<std::string> command_names(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::App* sub : visible_commands(app)) {
    names.push_back(sub->get_name());
    for (const std::string& alias : sub->get_aliases()) names.push_back(alias);
  }
  return names;
}

// The options usable at `command`: its own and, as options fall through, those of the commands
// above it.
std::vector<std::string> option_names(const CLI::App& command) {
  std::vector<std::string> names;
  for (const CLI::App* app = &command; app; app = app->get_parent()) {
    for (const CLI::Option* option : app->get_options()) {
      for (const std::string& s : option->get_snames()) names.push_back("-" + s);
      for (const std::string& l : option->get_lnames()) names.push_back("--" + l);
    }
  }
  return names;
}

}  // namespace

std::string unknown_word_message(const CLI::App& command, const std::string& word) {
  std::string kind;
  std::optional<std::string> suggestion;
  if (word.size() > 1 && word[0] == '-') {
    const std::string name = word.substr(0, word.find('='));
    kind = "unknown option '" + escape_controls(name) + "'";
    suggestion = closest_word(name, option_names(command));
  } else if (!visible_commands(command).empty()) {
    kind = "unknown command '" + escape_controls(word) + "'";
    suggestion = closest_word(word, command_names(command));
  } else {
    kind = "unexpected argument '" + escape_controls(word) + "'";
  }
  std::string message = "error: " + kind;
  if (suggestion) message += "; did you mean '" + *suggestion + "'?";
  return message;
}

int report_usage_error(const CLI::App& app, const CLI::ParseError& error) {
  const CLI::App& command = chosen_command(app);
  const std::vector<std::string> leftover = app.remaining(true);
  std::string text;
  if (!leftover.empty()) {
    text = unknown_word_message(command, leftover.front()) + "\n";
  } else if (!visible_commands(command).empty() && command.get_subcommands().empty()) {
    // A group without its command: its help says what there is.
    std::fputs(help_text(command).c_str(), stderr);
    return 2;
  } else {
    text = "error: " + escape_controls(without_secrets(error.what())) + "\n";
  }
  text += "For more information, try '" + command_path(command) + " --help'.\n";
  std::fputs(text.c_str(), stderr);
  return 2;
}

}  // namespace plo::cli
