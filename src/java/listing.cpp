#include "java/listing.h"
#include "util/escape.h"
#include "util/json_document.h"
#include "util/text.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace plo {
namespace {

std::string padded(const std::string& text, size_t width) {
  return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

}  // namespace

std::optional<bool> fits_pyspark(const Jdk& jdk, const std::optional<PySparkInfo>& pyspark) {
  if (!pyspark || pyspark->java_supported.empty()) return std::nullopt;
  const auto& supported = pyspark->java_supported;
  return std::find(supported.begin(), supported.end(), jdk.version) != supported.end();
}

std::vector<std::string> jdk_lines(const Console& console, const std::vector<Jdk>& jdks,
                                   const std::optional<PySparkInfo>& pyspark, bool numbered) {
  size_t major_width = 0;
  size_t vendor_width = 0;
  size_t version_width = 0;
  size_t index_width = std::to_string(jdks.size()).size();
  for (const Jdk& jdk : jdks) {
    major_width = std::max(major_width, std::to_string(jdk.version).size());
    vendor_width = std::max(vendor_width, escape_controls(jdk.vendor).size());
    version_width = std::max(version_width, escape_controls(jdk.full_version).size());
  }
  std::vector<std::string> lines;
  size_t i = 0;
  for (const Jdk& jdk : jdks) {
    std::string line = "  ";
    if (numbered) {
      line += padded("[" + std::to_string(++i) + "]", index_width + 2) + " ";
    }
    line += "Java " + padded(std::to_string(jdk.version), major_width) + "  " +
            padded(escape_controls(jdk.vendor), vendor_width) + "  " +
            padded(escape_controls(jdk.full_version), version_width) + "  " +
            escape_controls(jdk.home);
    if (const auto fits = fits_pyspark(jdk, pyspark)) {
      line += *fits ? console.style(" [OK]", Color::Green) : console.style(" [!]", Color::Red);
    }
    if (jdk.current) line += console.style(" * CURRENT", Color::Cyan);
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string jdks_json(const std::vector<Jdk>& jdks, const std::optional<PySparkInfo>& pyspark) {
  using json = nlohmann::ordered_json;
  json document =
      json_document({{"current", nullptr}, {"jdks", json::array()}, {"pyspark", nullptr}});
  for (const Jdk& jdk : jdks) {
    const auto fits = fits_pyspark(jdk, pyspark);
    json entry = {{"home", jdk.home},
                  {"version", jdk.version},
                  {"full_version", jdk.full_version},
                  {"vendor", jdk.vendor},
                  {"current", jdk.current},
                  {"fits_pyspark", fits ? json(*fits) : json(nullptr)},
                  {"found_in", jdk.found_in}};
    if (jdk.current) document["current"] = entry;
    document["jdks"].push_back(std::move(entry));
  }
  if (pyspark) {
    document["pyspark"] = {{"version", pyspark->version},
                           {"java_supported", pyspark->java_supported}};
  }
  return json_text(document);
}

}  // namespace plo
