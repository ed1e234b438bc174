#include "catalogue/python_support.h"

#include <charconv>
#include <utility>

namespace plo {

std::optional<PythonRange> python_range(std::string_view major_minor, const PythonTable& table) {
  const auto found = table.find(major_minor);
  if (found == table.end()) return std::nullopt;
  return found->second;
}

namespace {

// The (major, minor) of "3.10.13" or "3.10"; nothing when the text does not start that way.
std::optional<std::pair<int, int>> major_minor_numbers(std::string_view text) {
  int major = 0;
  int minor = 0;
  const char* end = text.data() + text.size();
  auto [p, error] = std::from_chars(text.data(), end, major);
  if (error != std::errc() || p == end || *p != '.') return std::nullopt;
  auto [q, error2] = std::from_chars(p + 1, end, minor);
  if (error2 != std::errc() || (q != end && *q != '.' && (*q < 'a' || *q > 'z'))) {
    return std::nullopt;
  }
  return std::pair{major, minor};
}

}  // namespace

bool python_fits(std::string_view python_version, const PythonRange& range) {
  const auto version = major_minor_numbers(python_version);
  const auto low = major_minor_numbers(range.min);
  const auto high = major_minor_numbers(range.max);
  if (!version || !low || !high) return true;
  return *low <= *version && *version <= *high;
}

bool python_below(std::string_view python_version, const PythonRange& range) {
  const auto version = major_minor_numbers(python_version);
  const auto low = major_minor_numbers(range.min);
  return version && low && *version < *low;
}

std::optional<bool> python_fit(const std::optional<std::string>& python_version,
                               const std::optional<PythonRange>& range) {
  if (!python_version || !range) return std::nullopt;
  return python_fits(*python_version, *range);
}

std::string python_major_minor(std::string_view python_version) {
  const auto first = python_version.find('.');
  if (first == std::string_view::npos) return std::string(python_version);
  return std::string(python_version.substr(0, python_version.find('.', first + 1)));
}

}  // namespace plo
