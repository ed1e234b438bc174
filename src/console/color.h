#pragma once

#include <string>
#include <string_view>

#include "console/console.h"

namespace plo {

// Whether output gets colour: NO_COLOR (non-empty) never; else CLICOLOR_FORCE or FORCE_COLOR
// (non-empty, not "0") always; else only on a terminal whose TERM is not "dumb".
bool color_wanted(bool stdout_is_terminal);

// The ANSI SGR form of a styled text: colour, then bold where asked, the text, then reset.
std::string ansi_style(std::string_view text, Color fg, bool bold);

}  // namespace plo
