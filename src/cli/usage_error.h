#pragma once

#include <string>

// CLI11 stays in the .cpp files that build the command line: the class is all a header needs.
namespace CLI {
class App;
class ParseError;
}  // namespace CLI

namespace plo::cli {

// Tells on standard error what is wrong with a command line `app` could not parse: the unknown
// command or option with the closest known one ("error: unknown command 'sprak'; did you mean
// 'spark'?"), or the help of a command group given no command. Returns the exit status, 2.
int report_usage_error(const CLI::App& app, const CLI::ParseError& error);

// The line that names a word `command` does not know (a command, an option or an argument) and
// the closest one it knows.
std::string unknown_word_message(const CLI::App& command, const std::string& word);

}  // namespace plo::cli
