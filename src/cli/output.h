#pragma once

namespace plo::cli {

// Moves standard output aside for one document and points standard output at standard error,
// so that everything else plo and its children write goes there; returns the document's
// descriptor.
int set_output_aside();

}  // namespace plo::cli
