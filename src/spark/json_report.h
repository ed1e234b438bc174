#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "spark/reports.h"

namespace plo {

// The reports as the JSON documents of `--json` (their schemas are in the README).

nlohmann::ordered_json check_json(const CheckReport& report);
nlohmann::ordered_json versions_json(const VersionsReport& report);
nlohmann::ordered_json match_json(const MatchReport& report);

// The document as printed: indented, one line end; invalid UTF-8 from outside is replaced.
std::string json_text(const nlohmann::ordered_json& document);

}  // namespace plo
