#include "util/suggest.h"

#include <algorithm>

namespace plo {

size_t edit_distance(std::string_view a, std::string_view b) {
  // Three rows of the table (the one before last for transpositions): O(|a|*|b|) time.
  std::vector<size_t> before(b.size() + 1), last(b.size() + 1), row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) last[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      row[j] =
          std::min({last[j] + 1, row[j - 1] + 1, last[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        row[j] = std::min(row[j], before[j - 2] + 1);
      }
    }
    std::swap(before, last);
    std::swap(last, row);
  }
  return last[b.size()];
}

std::optional<std::string> closest_word(std::string_view word,
                                        const std::vector<std::string>& candidates) {
  // Hostile words (a pasted file) are not compared: nothing that long is a typo of a name.
  constexpr size_t kLongest = 256;
  // One or two characters ("-5", "x") are as near to every short name: no guess is a good one.
  if (word.size() < 3 || word.size() > kLongest) return std::nullopt;
  std::optional<std::string> best;
  size_t best_distance = 0;
  for (const std::string& candidate : candidates) {
    if (candidate.size() > kLongest) continue;
    const size_t limit = std::clamp<size_t>(std::max(word.size(), candidate.size()) / 3, 1, 3);
    const size_t distance = edit_distance(word, candidate);
    if (distance == 0 || distance > limit) continue;
    if (!best || distance < best_distance) {
      best = candidate;
      best_distance = distance;
    }
  }
  return best;
}

}  // namespace plo
