#pragma once

#include <nlohmann/json_fwd.hpp>

#include "console/console.h"
#include "runtimes/runtimes_task.h"

namespace plo {

// The list as lines: one block per platform, one line per runtime with its Spark, Python and
// Java, marked where this environment fits it.
void print_runtime_list(Console& console, const RuntimeListReport& report, bool unicode_marks);

// The comparison as lines: one per component with its mark, the fix under a difference.
void print_runtime_fit(Console& console, const RuntimeFit& fit, bool unicode_marks);

// One runtime row as JSON: everything the table holds, with its sources.
nlohmann::ordered_json runtime_json(const ManagedRuntime& runtime);

// The --json documents of list and show.
nlohmann::ordered_json runtime_list_json(const RuntimeListReport& report);
nlohmann::ordered_json runtime_fit_json(const RuntimeFit& fit);

}  // namespace plo
