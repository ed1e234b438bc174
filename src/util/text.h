#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plo {

// The text with blanks (spaces, tabs, line ends, form feeds) removed at both ends.
std::string_view trim_blanks(std::string_view text);

// The text without the line ends (LF, CR) at its end.
std::string_view trim_line_ends(std::string_view text);

// The text with ASCII letters in lower case; other bytes unchanged.
std::string to_lower(std::string_view text);

// Whether `text` contains `lower_needle` (given in lower case), ignoring the case of ASCII letters.
bool contains_ignoring_case(std::string_view text, std::string_view lower_needle);

// The lines of a text without their "\n"; a CR before it stays.
std::vector<std::string_view> split_lines(std::string_view text);

// The first `count` characters of a UTF-8 text (continuation bytes do not start a character).
std::string first_chars(std::string_view text, size_t count);

}  // namespace plo

namespace plo {

// The text as one word for a POSIX shell: unchanged when it holds only safe characters, otherwise
// in single quotes (a quote inside becomes '\'').
std::string shell_quoted(std::string_view text);

// The text in single quotes for a POSIX shell, always (a value written into a sourced file).
std::string shell_quote(std::string_view text);

}  // namespace plo
