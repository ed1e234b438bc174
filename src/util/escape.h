#pragma once

#include <string>
#include <string_view>

namespace plo {

// Outside text made safe to print on a terminal: control characters (C0 but tab, DEL, and the C1
// controls U+0080..U+009F) and bytes that are not UTF-8 are shown as \xNN, one per byte, so that
// no file, server or child process can send escape sequences to the user's terminal. Everything
// else is kept as it is.
std::string escape_controls(std::string_view text);

}  // namespace plo
