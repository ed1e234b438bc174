#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/versions.h"

namespace plo {

// A final patch "X.Y.Z" in its plain form (no epoch, pre-, post-, dev- or local part; leading
// zeros dropped), or nothing for any other text.
std::optional<std::string> final_patch(std::string_view text);

// The newest final patch of `line` ("4.0") among `listed` (the package index's versions), or
// nothing where it lists none.
std::optional<std::string> newest_listed_patch(std::string_view line,
                                               const std::vector<std::string>& listed);

// What a request for `line` comes to: the newer of the catalogue's entry of the line and the
// index's newest final patch of it; but where `installed` is a patch of that line at least as new,
// `installed` itself (nothing to change). Nothing where neither the catalogue nor `listed` has the
// line.
std::optional<std::string> line_version(std::string_view line,
                                        const std::vector<VersionEntry>& catalogue,
                                        const std::vector<std::string>& listed,
                                        const std::optional<std::string>& installed);

// A patch the package index lists beyond the catalogue.
struct ListedPatch {
  std::string version;                   // "4.0.6"
  std::string major_minor;               // "4.0"
  std::optional<std::string> catalogue;  // the catalogue's entry of that line; nothing: new line
};

// The index's newest final patch of each catalogue line where it is newer than the catalogue's
// entry, and of each line newer than all the catalogue's; newest first.
std::vector<ListedPatch> listed_beyond_catalogue(const std::vector<VersionEntry>& catalogue,
                                                 const std::vector<std::string>& listed);

}  // namespace plo
