#include "compat/package_index.h"

namespace plo {

std::string catalogue_used_text(const IndexListing& listing) {
  return "using plo's version table, not the package index: " + listing.why_not;
}

std::optional<std::string> catalogue_used_line(const IndexListing& listing) {
  if (listing.source != IndexListing::Source::Catalogue || listing.no_index) return std::nullopt;
  return "plo: " + catalogue_used_text(listing);
}

}  // namespace plo
