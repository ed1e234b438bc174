#pragma once

#include <string_view>

namespace plo {

// Writes all of `text` to `fd`, going on after EINTR; a closed pipe raises OutputClosed, any other
// failure a std::system_error.
void write_all(int fd, std::string_view text);

}  // namespace plo
