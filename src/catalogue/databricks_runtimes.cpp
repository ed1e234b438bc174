#include "catalogue/databricks_runtimes.h"

#include <utility>

#include "catalogue/runtimes.h"

namespace plo {
namespace {

// Leading digits of `text` from `at` (at most six), advancing `at`; nothing when there are none.
std::optional<int> number_at(std::string_view text, size_t& at) {
  const size_t start = at;
  int value = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 6) {
    value = value * 10 + (text[at] - '0');
    ++at;
  }
  if (at == start) return std::nullopt;
  return value;
}

std::optional<std::pair<int, int>> numeric_line(std::string_view runtime) {
  size_t at = 0;
  const auto major = number_at(runtime, at);
  if (!major || at >= runtime.size() || runtime[at] != '.') return std::nullopt;
  ++at;
  const auto minor = number_at(runtime, at);
  if (!minor) return std::nullopt;
  return std::pair{*major, *minor};
}

}  // namespace

std::optional<std::string> databricks_runtime_line(std::string_view runtime) {
  const auto line = numeric_line(runtime);
  if (!line) return std::nullopt;
  return std::to_string(line->first) + "." + std::to_string(line->second);
}

std::optional<std::string> databricks_runtime_spark(std::string_view runtime) {
  const auto line = numeric_line(runtime);
  if (!line) return std::nullopt;
  const std::string wanted = std::to_string(line->first) + "." + std::to_string(line->second);
  for (const ManagedRuntime& row : managed_runtimes()) {
    if (row.platform != "databricks" || row.spark.empty()) continue;
    if (databricks_runtime_line(row.name.substr(row.name.find('-') + 1)) == wanted) {
      return row.spark;
    }
  }
  return databricks_major_spark(line->first);
}

}  // namespace plo
