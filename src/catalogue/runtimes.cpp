#include "catalogue/runtimes.h"

#include "catalogue/databricks_runtimes.h"
#include "util/text.h"

namespace plo {

bool is_full_patch(std::string_view version) {
  int parts = 0;
  bool digits = false;
  for (const char c : version) {
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if (c == '.' && digits) {
      ++parts;
      digits = false;
    } else {
      return false;
    }
  }
  return digits && parts == 2;
}

const ManagedRuntime* find_runtime(std::string_view name) {
  const std::string wanted = to_lower(std::string(name));
  for (const ManagedRuntime& row : managed_runtimes()) {
    if (row.name == wanted) return &row;
  }
  // A Databricks cluster's key or line: the row of that runtime line.
  const auto line = databricks_runtime_line(wanted);
  if (!line) return nullptr;
  for (const ManagedRuntime& row : managed_runtimes()) {
    if (row.platform != "databricks") continue;
    if (databricks_runtime_line(row.name.substr(row.name.find('-') + 1)) == line) return &row;
  }
  return nullptr;
}

}  // namespace plo
