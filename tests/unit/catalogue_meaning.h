#pragma once

// Catalogue versions and menu numbers by what they mean, so that a new patch or line in
// src/catalogue/data/ changes no test: only versions_test.cpp spells the rows.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "catalogue/versions.h"

namespace plo::testing {

// The catalogue's entry of a line ("3.5"); throws for a line it does not offer, so that a test
// asking for a removed line fails by name.
inline const VersionEntry& catalogue_entry(std::string_view line) {
  for (const VersionEntry& entry : PYSPARK_VERSIONS) {
    if (entry.major_minor == line) return entry;
  }
  throw std::out_of_range("the catalogue offers no PySpark " + std::string(line));
}

// The newest patch of a line as the catalogue has it: "3.5" -> "3.5.9".
inline std::string newest(std::string_view line) {
  return catalogue_entry(line).version;
}

// A patch of the line `steps` newer than the catalogue's, as a package index may list it:
// "3.5" -> "3.5.10".
inline std::string newer_patch(std::string_view line, int steps = 1) {
  const std::string version = newest(line);
  const std::size_t dot = version.rfind('.');
  return version.substr(0, dot + 1) + std::to_string(std::stoi(version.substr(dot + 1)) + steps);
}

// What set-version's menu takes to choose that line: its number, as typed.
inline std::string menu_entry(std::string_view line) {
  for (std::size_t i = 0; i < PYSPARK_VERSIONS.size(); ++i) {
    if (PYSPARK_VERSIONS[i].major_minor == line) return std::to_string(i + 1);
  }
  throw std::out_of_range("the menu has no PySpark " + std::string(line));
}

// The menu's number of "Custom version", after the catalogue's lines.
inline std::string custom_menu_entry() {
  return std::to_string(PYSPARK_VERSIONS.size() + 1);
}

}  // namespace plo::testing
