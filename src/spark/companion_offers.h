#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "process/process_runner.h"
#include "spark/companion_moves.h"

namespace plo {

// What the index offers for each (name, requirement), asked of `interpreter`'s pip as a dry run
// without dependencies: the release `pip install` itself would pick, through the user's own
// index settings, reading only those small packages' metadata (never PySpark's). An offer stays
// unknown where pip cannot answer (missing, too old for --report, the index out of reach); a
// requirement no release satisfies has a known offer without a release.
std::map<std::string, CompanionOffer> pip_offers(
    ProcessRunner& runner, const std::string& interpreter,
    const std::vector<std::pair<std::string, std::string>>& wanted);

// The releases a `pip install --dry-run --report -` document names, by normalised name, with the
// metadata plo reads; nothing for a document of another shape.
std::map<std::string, DistributionMetadata> releases_in_report(const std::string& report);

}  // namespace plo
