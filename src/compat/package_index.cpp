#include "compat/package_index.h"

namespace plo {

std::optional<std::string> catalogue_used_line(const IndexListing& listing) {
  if (listing.source != IndexListing::Source::Catalogue) return std::nullopt;
  return "plo: using plo's version table, not the package index: " + listing.why_not;
}

}  // namespace plo
