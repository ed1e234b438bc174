#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace plo {

// The Python versions one PySpark line supports, as "major.minor" texts: the lowest is the line's
// python_requires, the newest the newest its package declares.
struct PythonRange {
  std::string min;
  std::string max;
};

using PythonTable = std::map<std::string, PythonRange, std::less<>>;

// The Python versions each PySpark major.minor supports.
extern const PythonTable PYSPARK_PYTHON_SUPPORT;

// The range of a PySpark major.minor, or nothing when the table has no data for it.
std::optional<PythonRange> python_range(std::string_view major_minor,
                                        const PythonTable& table = PYSPARK_PYTHON_SUPPORT);

// Whether a Python version ("3.10.13" or "3.10") lies within the range; a version that cannot be
// read fits (nothing is known against it).
bool python_fits(std::string_view python_version, const PythonRange& range);

// Whether a Python version lies below the range (too old for it rather than too new).
bool python_below(std::string_view python_version, const PythonRange& range);

// Whether the interpreter's version fits the line's range; nothing when either is unknown.
std::optional<bool> python_fit(const std::optional<std::string>& python_version,
                               const std::optional<PythonRange>& range);

// "3.10" of "3.10.13" (the text as it is when it has no second dot).
std::string python_major_minor(std::string_view python_version);

}  // namespace plo
