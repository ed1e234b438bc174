#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plo {

// Packaging's normal form of a distribution or extra name: lower case, each run of "-", "_" and
// "." as one "-" ("Delta_Spark" -> "delta-spark").
std::string normalized_name(std::string_view name);

// Whether `version` lies in a PEP 440 specifier set ("<3.6.0,>=3.5.3", "~=3.5", "==3.5.*",
// "!=3.5.0", "===foo", or "" for any), as pip's packaging decides. `prereleases` chooses whether a
// pre-release (or dev release) may match at all: nothing applies the set's own rule (only where
// one of its specifiers names a pre-release); `true` is how `pip check` and pip's resolver test an
// installed or chosen version. Nothing when the set cannot be read.
std::optional<bool> specifier_admits(std::string_view specifiers, std::string_view version,
                                     std::optional<bool> prereleases = std::nullopt);

// One PEP 508 requirement: `name [extras] (specifiers | @ url) ; marker`, as a Requires-Dist line
// writes it ("pyspark<3.6.0,>=3.5.3", "pandas>=1.0.5; extra == \"sql\"", "numpy (>=1.15)").
struct Requirement {
  std::string name;  // normalised
  std::vector<std::string> extras;
  std::string specifiers;  // blanks and parentheses removed: "<3.6.0,>=3.5.3"; empty for any
  std::string url;         // after "@", else empty
  std::string marker;      // after ";", else empty
};

// The requirement, or nothing where the text is not one (checked whole, linear in the text).
std::optional<Requirement> parse_requirement(std::string_view text);

// The values of PEP 508's marker variables (python_version, sys_platform, extra, ...).
using MarkerEnvironment = std::map<std::string, std::string, std::less<>>;

// Whether a PEP 508 marker ("python_version >= \"3.8\" and extra == 'sql'") holds in the
// environment; an empty marker holds. Version comparisons are made as PEP 440 specifiers where
// both sides read as such, else as texts; `extra` is compared in its normal form. Nothing where
// the marker cannot be read or names a variable the environment lacks.
std::optional<bool> evaluate_marker(std::string_view marker, const MarkerEnvironment& environment);

}  // namespace plo
