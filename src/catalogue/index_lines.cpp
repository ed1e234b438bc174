#include "catalogue/index_lines.h"

#include <algorithm>
#include <array>
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

// A final patch as listed: its three numbers without leading zeros, viewing the listed text. A page
// may list a great many texts, so they are read without allocating and compared as read.
using Patch = std::array<std::string_view, 3>;

// The digits at `at` without leading zeros ("007" is "7"); `at` moves past them.
std::string_view digits(std::string_view text, size_t& at) {
  const size_t start = at;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
  std::string_view number = text.substr(start, at - start);
  while (number.size() > 1 && number.front() == '0') number.remove_prefix(1);
  return number;
}

// Exactly the texts parse_pep440 reads with epoch 0, three release numbers and nothing after them:
// "4.0.1", "v4.0.1", "0!4.0.1", "04.0.01".
std::optional<Patch> read_final_patch(std::string_view text) {
  if (text.empty() || text.size() > 128) return std::nullopt;
  size_t at = text[0] == 'v' || text[0] == 'V' ? 1 : 0;
  Patch patch;
  for (size_t i = 0; i < patch.size(); ++i) {
    if (i > 0 && (at == text.size() || text[at++] != '.')) return std::nullopt;
    patch[i] = digits(text, at);
    if (patch[i].empty()) return std::nullopt;
    if (i == 0 && at < text.size() && text[at] == '!') {
      if (patch[0] != "0") return std::nullopt;
      ++at;
      patch[0] = digits(text, at);
      if (patch[0].empty()) return std::nullopt;
    }
  }
  if (at != text.size()) return std::nullopt;
  return patch;
}

// Numbers without leading zeros: the longer is greater, else digit by digit.
int compare_numbers(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b);
}

int compare_patches(const Patch& a, const Patch& b) {
  for (size_t i = 0; i < a.size(); ++i) {
    if (const int order = compare_numbers(a[i], b[i])) return order;
  }
  return 0;
}

// "X.Y.Z".
std::string patch_text(const Patch& patch) {
  return std::string(patch[0]) + "." + std::string(patch[1]) + "." + std::string(patch[2]);
}

// Whether the patch is of `line` ("4.0").
bool on_line(const Patch& patch, std::string_view line) {
  return line.size() == patch[0].size() + 1 + patch[1].size() && line.starts_with(patch[0]) &&
         line[patch[0].size()] == '.' && line.ends_with(patch[1]);
}

}  // namespace

std::optional<std::string> final_patch(std::string_view text) {
  const auto patch = read_final_patch(text);
  if (!patch) return std::nullopt;
  return patch_text(*patch);
}

std::optional<std::string> newest_listed_patch(std::string_view line,
                                               const std::vector<std::string>& listed) {
  std::optional<Patch> newest;
  for (const std::string& text : listed) {
    const auto patch = read_final_patch(text);
    if (!patch || !on_line(*patch, line)) continue;
    if (!newest || compare_patches(*patch, *newest) > 0) newest = patch;
  }
  if (!newest) return std::nullopt;
  return patch_text(*newest);
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
  std::map<std::string, Patch, std::less<>> newest_of_line;
  for (const std::string& text : listed) {
    const auto patch = read_final_patch(text);
    if (!patch) continue;
    const std::string line = std::string((*patch)[0]) + "." + std::string((*patch)[1]);
    auto [at, added] = newest_of_line.try_emplace(line, *patch);
    if (!added && compare_patches(*patch, at->second) > 0) at->second = *patch;
  }
  // The catalogue lists its lines newest first.
  const std::optional<std::string> newest_line =
      catalogue.empty() ? std::nullopt : std::optional(catalogue.front().major_minor);

  std::vector<ListedPatch> beyond;
  for (const auto& [line, newest] : newest_of_line) {
    const std::string patch = patch_text(newest);
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
