#pragma once

// Finding a run of printed lines wherever it is, so that layout tests do not count line indices.

#include <algorithm>
#include <string>
#include <vector>

namespace plo::testing {

// Whether `expected` occurs in `lines` as consecutive lines.
inline bool has_block(const std::vector<std::string>& lines,
                      const std::vector<std::string>& expected) {
  return std::search(lines.begin(), lines.end(), expected.begin(), expected.end()) != lines.end();
}

// Whether `lines` ends with `expected`.
inline bool ends_with_block(const std::vector<std::string>& lines,
                            const std::vector<std::string>& expected) {
  return lines.size() >= expected.size() &&
         std::equal(expected.begin(), expected.end(), lines.end() - expected.size());
}

}  // namespace plo::testing
