#include "catalogue/index_lines.h"

#include <algorithm>
#include <map>

#include "catalogue/pep440.h"

namespace plo {
namespace {

int compare(const std::string& a, const std::string& b) {
  const auto left = parse_pep440(a);
  const auto right = parse_pep440(b);
  if (!left || !right) return a.compare(b);
  return compare_pep440(*left, *right);
}

}  // namespace

std::optional<std::string> final_patch(std::string_view text) {
  const auto parsed = parse_pep440(text);
  if (!parsed || parsed->epoch != "0" || parsed->release.size() != 3 || parsed->is_prerelease() ||
      parsed->is_postrelease() || !parsed->local.empty()) {
    return std::nullopt;
  }
  return parsed->release[0] + "." + parsed->release[1] + "." + parsed->release[2];
}

std::optional<std::string> newest_listed_patch(std::string_view line,
                                               const std::vector<std::string>& listed) {
  std::optional<std::string> newest;
  for (const std::string& text : listed) {
    const auto patch = final_patch(text);
    if (!patch || major_minor_of(*patch) != line) continue;
    if (!newest || compare(*patch, *newest) > 0) newest = patch;
  }
  return newest;
}

std::optional<std::string> line_version(std::string_view line,
                                        const std::vector<VersionEntry>& catalogue,
                                        const std::vector<std::string>& listed,
                                        const std::optional<std::string>& installed) {
  std::optional<std::string> best = newest_listed_patch(line, listed);
  for (const VersionEntry& entry : catalogue) {
    if (entry.major_minor == line && (!best || compare(entry.version, *best) > 0)) {
      best = entry.version;
    }
  }
  if (best && installed && major_minor_of(*installed) == line && compare(*installed, *best) >= 0) {
    return installed;
  }
  return best;
}

std::vector<ListedPatch> listed_beyond_catalogue(const std::vector<VersionEntry>& catalogue,
                                                 const std::vector<std::string>& listed) {
  // One pass: the newest final patch of each line the index lists.
  std::map<std::string, std::string, std::less<>> newest_of_line;
  for (const std::string& text : listed) {
    const auto patch = final_patch(text);
    if (!patch) continue;
    auto [at, added] = newest_of_line.try_emplace(major_minor_of(*patch), *patch);
    if (!added && compare(*patch, at->second) > 0) at->second = *patch;
  }
  // The catalogue lists its lines newest first.
  const std::optional<std::string> newest_line =
      catalogue.empty() ? std::nullopt : std::optional(catalogue.front().major_minor);

  std::vector<ListedPatch> beyond;
  for (const auto& [line, patch] : newest_of_line) {
    const auto entry =
        std::find_if(catalogue.begin(), catalogue.end(),
                     [&line = line](const VersionEntry& e) { return e.major_minor == line; });
    if (entry != catalogue.end()) {
      if (compare(patch, entry->version) > 0) beyond.push_back({patch, line, entry->version});
    } else if (!newest_line || compare(line, *newest_line) > 0) {
      beyond.push_back({patch, line, std::nullopt});
    }
  }
  std::sort(beyond.begin(), beyond.end(), [](const ListedPatch& a, const ListedPatch& b) {
    return compare(a.version, b.version) > 0;
  });
  return beyond;
}

}  // namespace plo
