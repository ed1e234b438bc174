#include "catalogue/versions.h"

#include <fmt/format.h>
#include <algorithm>

namespace plo {

std::pair<bool, std::string> check_java_pyspark_compatibility(int java_version,
                                                              std::string_view major_minor,
                                                              const CompatTable& table) {
  const auto record = table.find(major_minor);
  if (record == table.end()) {
    return {false, fmt::format("No Java compatibility data for PySpark {}", major_minor)};
  }
  const auto& supported = record->second.supported;
  if (std::find(supported.begin(), supported.end(), java_version) != supported.end()) {
    return {true, fmt::format("Java {} is compatible with PySpark {}", java_version, major_minor)};
  }
  return {false, fmt::format("Java {} is not compatible with PySpark {} (supported: Java {})",
                             java_version, major_minor, java_list_text(supported))};
}

std::string major_minor_of(std::string_view version) {
  const auto first_dot = version.find('.');
  if (first_dot == std::string_view::npos) return std::string(version);
  const auto second_dot = version.find('.', first_dot + 1);
  return std::string(version.substr(0, second_dot));
}

std::string java_list_text(const std::vector<int>& versions) {
  return fmt::format("{}", fmt::join(versions, ", "));
}

}  // namespace plo

namespace plo {

bool looks_like_version(std::string_view text) {
  if (text.empty() || text.size() > 64) return false;
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' ||
           c == '+' || c == '-' || c == '_';
  });
}

}  // namespace plo
