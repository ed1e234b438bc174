#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plo {

// The Java versions one PySpark line runs on, and the one it recommends (if any).
struct CompatRecord {
  std::vector<int> supported;
  std::optional<int> recommended;
};

// One PySpark version offered by plo: full version, its major.minor, and a tag
// ("latest", "stable" or empty).
struct VersionEntry {
  std::string version;
  std::string major_minor;
  std::string tag;
};

using CompatTable = std::map<std::string, CompatRecord, std::less<>>;

// Which Java versions each PySpark major.minor runs on.
extern const CompatTable PYSPARK_JAVA_COMPATIBILITY;

// The PySpark versions plo offers, newest first.
extern const std::vector<VersionEntry> PYSPARK_VERSIONS;

// Whether `java_version` runs PySpark `major_minor` according to `table`, with a message for the
// user.
std::pair<bool, std::string> check_java_pyspark_compatibility(int java_version,
                                                              std::string_view major_minor,
                                                              const CompatTable& table);

// The first two dot-separated parts of a version text joined by "."; a text without a dot is its
// own major.minor.
std::string major_minor_of(std::string_view version);

// Java versions as shown to the user: decimal, joined with ", ", no brackets.
std::string java_list_text(const std::vector<int>& versions);

}  // namespace plo

namespace plo {

// Whether a text found outside plo (a file, a server) is a plain version text fit to be shown:
// letters, digits and . + - _ only, at most 64 characters.
bool looks_like_version(std::string_view text);

}  // namespace plo
