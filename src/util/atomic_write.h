#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string_view>

namespace plo {

// Replaces the file at `path` by `contents` so that a reader sees the old text or the new, never
// half of it, and nothing is lost when plo dies midway: the text goes to a temporary file created
// with O_EXCL beside the target (a planted link at its name cannot redirect it), is synced, and
// is renamed over the target. A symlink at `path` is written through to its target and stays a
// link, unless the target lies in a folder of another user (refused: it could be anyone's file).
// The target's mode and owner are kept; a new file gets `new_mode`. Creates a missing folder.
// Throws std::runtime_error, naming the file and the system's reason; the old file then stays.
void write_file_atomically(const std::filesystem::path& path, std::string_view contents,
                           mode_t new_mode);

// The file a chain of symlinks at `path` ends at (`path` itself when it is no link). Throws
// std::runtime_error for a loop or an unreadable link.
std::filesystem::path link_target(const std::filesystem::path& path);

}  // namespace plo
