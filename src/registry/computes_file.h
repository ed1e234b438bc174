#pragma once

#include <optional>
#include <string>

namespace plo {

// The text of computes.yml for editing, or nothing when the file does not exist. Throws when it
// is not a regular file, cannot be read or is larger than a computes.yml can sensibly be.
std::optional<std::string> read_computes_for_edit(const std::string& path);

// Replaces computes.yml with `text`: the previous text (when there was one) goes to
// "<path>.bak", the new one to a temporary file in the same folder that is then renamed over the
// path, so that a reader never sees half a file. Creates the folder when missing. Throws on
// failure.
void write_computes(const std::string& path, const std::string& text,
                    const std::optional<std::string>& previous);

}  // namespace plo
