#include "catalogue/databricks_runtimes.h"

#include <utility>

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
  static const std::pair<std::pair<int, int>, const char*> kRuntimes[] = {{{12, 2}, "3.3.2"},
                                                                          {{13, 3}, "3.4.1"},
                                                                          {{14, 3}, "3.5.0"},
                                                                          {{15, 4}, "3.5.0"},
                                                                          {{16, 4}, "3.5.2"}};
  for (const auto& [key, spark] : kRuntimes) {
    if (key == *line) return spark;
  }
  // Every release of these majors ships the same Spark line.
  if (line->first == 17) return "4.0.0";
  if (line->first == 18) return "4.1.0";
  if (line->first == 19) return "4.2.0";
  return std::nullopt;
}

}  // namespace plo
