#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plo {

// The edit distance between two texts, byte by byte: insertions, deletions, substitutions and
// swaps of two neighbours ("sprak" is one edit from "spark").
size_t edit_distance(std::string_view a, std::string_view b);

// The candidate closest to `word` for a "did you mean" hint: the nearest within a third of the
// longer word's length (at least 1, at most 3 edits); nothing when none is that close, or when
// `word` is shorter than three characters.
std::optional<std::string> closest_word(std::string_view word,
                                        const std::vector<std::string>& candidates);

}  // namespace plo
