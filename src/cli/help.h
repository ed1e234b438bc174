#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// CLI11 stays in the .cpp files that build the command line: the class is all a header needs.
namespace CLI {
class App;
class FormatterBase;
}  // namespace CLI

namespace plo::cli {

// Help pages in the layout of gh and uv: the summary, "Usage:", the commands or the arguments and
// options with their descriptions wrapped to the terminal, the global options, then "Examples:"
// (the command's footer). Given to the top-level app before its subcommands are added, so that
// every command inherits it.
std::shared_ptr<CLI::FormatterBase> help_formatter();

// The subcommands of `app` that its help lists (the hidden `__complete` is not one).
std::vector<const CLI::App*> visible_commands(const CLI::App& app);

// The command a parse reached: the subcommand chosen at each level, or `app` itself.
const CLI::App& chosen_command(const CLI::App& app);

// The help page of `command` itself (CLI::App::help shows that of a chosen subcommand instead).
std::string help_text(const CLI::App& command);

// Sets a command's "Examples:" block: one "command  # what it does" line each.
void set_examples(CLI::App& command, std::initializer_list<std::string_view> lines);

// `plo help [COMMAND...]`: the help of that command on standard output (0), or an error naming
// the unknown word on standard error (2).
int print_help_of(CLI::App& app, const std::vector<std::string>& words);

// --keep-companions, wherever PySpark can change.
inline constexpr const char* kKeepCompanionsHelp =
    "Leave delta-spark, pandas, numpy, pyarrow and other packages beside PySpark as they are "
    "(named where they will not fit), instead of moving them with it";

// --no-project, wherever PySpark can change.
inline constexpr const char* kNoProjectHelp =
    "Change only the environment, not the uv or Poetry project's requirement and lock (its next "
    "sync puts the old PySpark back)";

// The command's name as typed from the top: "plo spark set-version".
std::string command_path(const CLI::App& command);

}  // namespace plo::cli
