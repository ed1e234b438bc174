#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plo {

// The values `plo pin` writes into [tool.plo]; the absent ones are left as the file has them.
struct PinValues {
  std::optional<std::string> pyspark = {};
  std::optional<int> java = {};
  std::optional<std::string> compute = {};
  std::optional<std::string> runtime = {};
};

// pyproject.toml text whose [tool.plo] table holds `values`: a key already there gets its new value
// in place (its comment stays), a missing one is added after the table's last key, and a missing
// table is appended at the end. The table and its keys are found where TOML reads them (not in a
// multi-line string that looks like them); a UTF-8 byte-order mark stays. Every byte outside the
// edited values stays, and the result must read as the old document plus the change. `file`
// names the file in errors. Throws ProjectFileError for a text that is not valid TOML or that
// cannot be edited so (the table written another way, such as inline or with dotted keys).
std::string pin_text(std::string_view text, const PinValues& values, const std::string& file);

}  // namespace plo
