#include "help.h"

#include <CLI/CLI.hpp>

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "usage_error.h"

namespace plo::cli {
namespace {

// Help is read on a terminal as wide as it is (within reason); elsewhere as 80 columns.
size_t page_width() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    return std::clamp<size_t>(size.ws_col, 60, 120);
  }
  return 80;
}

// The words of `text` on lines of at most `width` columns (a longer word stands alone).
std::vector<std::string> wrapped(std::string_view text, size_t width) {
  std::vector<std::string> lines;
  std::string line;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = std::min(text.find(' ', start), text.size());
    const std::string_view word = text.substr(start, end - start);
    start = end + 1;
    if (word.empty()) continue;
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      lines.push_back(std::move(line));
      line.clear();
    }
    if (!line.empty()) line += ' ';
    line += word;
  }
  if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

struct Entry {
  std::string name;
  std::string description;
};

// Names in a column, descriptions wrapped beside them (under them when a name is too long).
std::string table(const std::vector<Entry>& entries, size_t width) {
  size_t column = 0;
  for (const Entry& e : entries) column = std::max(column, e.name.size());
  column = std::min<size_t>(column, 28) + 4;
  const size_t text_width = width > column + 20 ? width - column : 20;
  std::string out;
  for (const Entry& e : entries) {
    std::string line = "  " + e.name;
    const std::vector<std::string> lines = wrapped(e.description, text_width);
    if (line.size() + 2 > column && !lines.empty()) {
      out += line + "\n";
      line.clear();
    }
    for (const std::string& text : lines) {
      line.resize(column, ' ');
      out += line + text + "\n";
      line.clear();
    }
    if (!line.empty()) out += line + "\n";
  }
  return out;
}

std::string option_name(const CLI::Option& option) {
  if (option.get_positional() && !option.nonpositional()) {
    const std::string name = option.get_name();
    std::string shown = option.get_required() ? "<" + name + ">" : "[" + name + "]";
    if (option.get_items_expected_max() > 1) shown += "...";
    return shown;
  }
  std::string name;
  for (const std::string& s : option.get_snames()) name += (name.empty() ? "-" : ", -") + s;
  for (const std::string& l : option.get_lnames()) name += (name.empty() ? "--" : ", --") + l;
  if (option.get_snames().empty()) name = "    " + name;  // long names line up
  if (option.get_expected_max() > 0) {
    std::string value = option.get_option_text();
    if (value.empty()) value = option.get_lnames().empty() ? "value" : option.get_lnames()[0];
    std::transform(value.begin(), value.end(), value.begin(),
                   [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; });
    name += " <" + value + ">";
  }
  return name;
}

std::vector<Entry> entries(const std::vector<const CLI::Option*>& options) {
  std::vector<Entry> out;
  for (const CLI::Option* option : options) {
    out.push_back({option_name(*option), option->get_description()});
  }
  return out;
}

class HelpFormatter : public CLI::FormatterBase {
 public:
  std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
    const size_t width = page_width();
    std::string out;
    for (const std::string& line : wrapped(app->get_description(), width)) out += line + "\n";

    const auto commands = visible_commands(*app);
    const auto positionals = app->get_options([](const CLI::Option* o) {
      return o->get_positional() && !o->nonpositional() && !o->get_group().empty();
    });
    const auto options = app->get_options(
        [](const CLI::Option* o) { return o->nonpositional() && !o->get_group().empty(); });
    std::string usage = "\nUsage: " + command_path(*app);
    if (!options.empty() || app->get_parent()) usage += " [OPTIONS]";
    if (!commands.empty()) usage += " <COMMAND>";
    for (const CLI::Option* p : positionals) usage += " " + option_name(*p);
    out += usage + "\n";

    if (!commands.empty()) {
      std::vector<Entry> rows;
      for (const CLI::App* sub : commands) {
        std::string name = sub->get_name();
        for (const std::string& alias : sub->get_aliases()) name += ", " + alias;
        rows.push_back({name, sub->get_description()});
      }
      out += "\nCommands:\n" + table(rows, width);
    }
    if (!positionals.empty()) out += "\nArguments:\n" + table(entries(positionals), width);
    if (!options.empty()) out += "\nOptions:\n" + table(entries(options), width);
    // The top-level options work on every command.
    if (app->get_parent()) {
      const CLI::App* root = app;
      while (root->get_parent()) root = root->get_parent();
      const auto global = root->get_options([](const CLI::Option* o) {
        return o->nonpositional() && o->get_group() == "Global options";
      });
      if (!global.empty()) out += "\nGlobal options:\n" + table(entries(global), width);
    }
    const std::string footer = app->get_footer();
    if (!footer.empty()) out += "\n" + footer + "\n";
    if (!commands.empty()) {
      out += "\nRun '" + command_path(*app) + " <COMMAND> --help' for more on a command.\n";
    }
    return out;
  }
};

}  // namespace

std::shared_ptr<CLI::FormatterBase> help_formatter() {
  return std::make_shared<HelpFormatter>();
}

std::vector<const CLI::App*> visible_commands(const CLI::App& app) {
  return app.get_subcommands([](const CLI::App* sub) { return !sub->get_group().empty(); });
}

const CLI::App& chosen_command(const CLI::App& app) {
  const CLI::App* command = &app;
  for (auto chosen = command->get_subcommands(); !chosen.empty();
       chosen = command->get_subcommands()) {
    command = chosen.back();
  }
  return *command;
}

std::string help_text(const CLI::App& command) {
  return command.get_formatter()->make_help(&command, command.get_name(),
                                            CLI::AppFormatMode::Normal);
}

void set_examples(CLI::App& command, std::initializer_list<std::string_view> lines) {
  std::string footer = "Examples:";
  for (std::string_view line : lines) {
    footer += "\n  ";
    footer += line;
  }
  command.footer(footer);
}

int print_help_of(CLI::App& app, const std::vector<std::string>& words) {
  CLI::App* command = &app;
  for (const std::string& word : words) {
    CLI::App* found = nullptr;
    try {
      found = command->get_subcommand(word);
    } catch (const CLI::OptionNotFound&) {
    }
    if (!found || found->get_group().empty()) {
      std::fputs((unknown_word_message(*command, word) + "\n").c_str(), stderr);
      return 2;
    }
    command = found;
  }
  std::fputs(help_text(*command).c_str(), stdout);
  return 0;
}

std::string command_path(const CLI::App& command) {
  std::string path = command.get_name();
  for (const CLI::App* up = command.get_parent(); up; up = up->get_parent()) {
    path = up->get_name() + " " + path;
  }
  return path;
}

}  // namespace plo::cli
