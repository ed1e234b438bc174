#pragma once

#include "console/console.h"
#include "spark/reports.h"

namespace plo {

// The reports as lines on the console: the only place that knows their layout and colours. A
// report that ends in an error is printed as far as it got.

void print_check(Console& console, const CheckReport& report);
void print_versions(Console& console, const VersionsReport& report);
void print_match(Console& console, const MatchReport& report);

// The cluster version report alone (the end of match_cluster and of `plo compute test`).
void print_comparison(Console& console, const ClusterComparison& comparison);

}  // namespace plo
