#pragma once

#include <optional>
#include <string>
#include <vector>

namespace plo {

// What the package index lists of PySpark, or why plo's own table stands in for it.
struct IndexListing {
  enum class Source { Index, Cache, Catalogue };
  Source source = Source::Catalogue;
  std::vector<std::string> versions = {};  // its final patches; none for Catalogue
  std::string url = {};                    // the index asked, passwords masked; "" where none was
  std::string why_not = {};  // for Catalogue: "pip's no-index is set (PIP_NO_INDEX)", ...
  // For Catalogue: pip's own no-index chose it, so nothing is amiss (told only with -v).
  bool no_index = false;
};

// The seam: which versions of PySpark the package index pip would use lists.
class PackageIndex {
 public:
  virtual ~PackageIndex() = default;

  // The listing, found at most once per object; never throws for the index's sake.
  virtual const IndexListing& pyspark_listing() = 0;
};

// The line for standard error when plo's table stands in for an index that did not answer as
// one ("plo: using plo's version table, not the package index: https://pypi.org/simple/ did not
// answer in time"); nothing when it answered, or when pip's no-index kept plo from asking.
std::optional<std::string> catalogue_used_line(const IndexListing& listing);

// Why plo's table stands in for the index: "using plo's version table, not the package index:
// pip's no-index is set (PIP_NO_INDEX)".
std::string catalogue_used_text(const IndexListing& listing);

}  // namespace plo
