#pragma once

#include <string_view>

namespace plo::cli {

// Writes all of `text` to `fd`; a closed pipe raises OutputClosed, another failure an error.
void write_all(int fd, std::string_view text);

// Moves standard output aside for one document and points standard output at standard error,
// so that everything else plo and its children write goes there; returns the document's
// descriptor.
int set_output_aside();

}  // namespace plo::cli
