#pragma once

#include <string>
#include <string_view>

#include "console/console.h"

namespace plo {

// --color: "auto" leaves the choice to the environment and the terminal.
enum class ColorChoice { Auto, Always, Never };

// Whether output gets colour: --color always or never when given; else NO_COLOR (non-empty)
// never; else CLICOLOR_FORCE or FORCE_COLOR (non-empty, not "0") always; else only on a terminal
// whose TERM is not "dumb".
bool color_wanted(ColorChoice choice, bool stdout_is_terminal);

// The ANSI SGR form of a styled text: colour, then bold where asked, the text, then reset.
std::string ansi_style(std::string_view text, Color fg, bool bold);

}  // namespace plo
