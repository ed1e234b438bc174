#pragma once

namespace plo::cli {

// Moves standard output aside for one document and points standard output at standard error,
// so that everything else plo and its children write goes there; returns the document's
// descriptor.
int set_output_aside();

// Whether the terminal takes UTF-8 marks (✓ ✗): the first of LC_ALL, LC_CTYPE and LANG that is
// set names a UTF-8 codeset (C and POSIX do not), and NO_COLOR does not ask for plain text.
bool unicode_marks();

}  // namespace plo::cli
