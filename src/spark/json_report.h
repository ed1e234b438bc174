#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>

#include "spark/reports.h"
#include "spark/spark_task.h"
#include "util/json_document.h"

namespace plo {

// The reports as the JSON documents of `--json` (their schemas are in the README).

nlohmann::ordered_json check_json(const CheckReport& report);
nlohmann::ordered_json versions_json(const VersionsReport& report);
nlohmann::ordered_json match_json(const MatchReport& report);
// match-cluster --install's "install" member: the version, whether it ended installed, and the
// installer ("pip" or "uv"; null where nothing was to be installed).
nlohmann::ordered_json install_json(const SparkTask::ClusterInstall& install);

}  // namespace plo
