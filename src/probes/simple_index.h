#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plo {

// The media type of a package index's JSON project page (PEP 691), asked by Accept.
inline constexpr std::string_view kSimpleJsonType = "application/vnd.pypi.simple.v1+json";

// A project's page on a PEP 503/691 index: the index URL, one slash, the name and a slash
// ("https://pypi.org/simple/" and "pyspark" give "https://pypi.org/simple/pyspark/").
std::string project_page_url(std::string_view index_url, std::string_view project);

// The versions a PEP 691 JSON project page of `project` (a normalised name) lists: PEP 700's
// "versions", else those named by its files; a version whose every file is yanked is left out.
// Nothing when the text is not such a page (its shape, API version 1, the project's name).
// Linear in the text.
std::optional<std::vector<std::string>> listed_versions(std::string_view body,
                                                        std::string_view project);

}  // namespace plo
