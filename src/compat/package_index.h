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
};

// The seam: which versions of PySpark the package index pip would use lists.
class PackageIndex {
 public:
  virtual ~PackageIndex() = default;

  // The listing, found at most once per object; never throws for the index's sake.
  virtual const IndexListing& pyspark_listing() = 0;
};

// The line for standard error when plo's table stands in for the index ("plo: using plo's
// version table, not the package index: PIP_NO_INDEX is set"); nothing when the index answered.
std::optional<std::string> catalogue_used_line(const IndexListing& listing);

}  // namespace plo
