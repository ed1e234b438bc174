#pragma once

#include "console/console.h"
#include "spark/reports.h"

namespace plo {

// The reports as lines on the console: the only place that knows their layout and colours. A
// report that ends in an error is printed as far as it got.

void print_check(Console& console, const CheckReport& report);
// The line under check's report when the environment drifted from the project file (or the file
// could not be read); nothing when it matches or no file applies.
void print_project_drift(Console& console, const CheckReport& report);
// check's lines for standard error, one per companion that does not fit the installed PySpark:
// why, and the command that fixes it. None where every companion fits.
std::vector<std::string> companion_lines(const CheckReport& report);
// check's lines for standard error, one per project pin that disagrees with [tool.plo] or the
// installed PySpark: where, why, and the fix.
std::vector<std::string> pin_lines(const CheckReport& report);
void print_versions(Console& console, const VersionsReport& report);
// match_cluster's report in two halves: the heading and the compute block, printed before the
// cluster is asked (the wait comes after "Connecting to cluster..."), and the rest.
void print_match_head(Console& console, const MatchReport& report);
void print_match_rest(Console& console, const MatchReport& report);

// Two or more distributions that ship the pyspark package into one folder, and how to keep one.
void print_pyspark_conflict(Console& console, const std::vector<PySparkDistribution>& conflicting);

// The cluster version report alone (the end of match_cluster and of `plo compute test`).
void print_comparison(Console& console, const ClusterComparison& comparison);

}  // namespace plo
