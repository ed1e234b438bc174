#pragma once

#include <nlohmann/json_fwd.hpp>

#include "console/console.h"
#include "doctor/doctor_report.h"

namespace plo {

// The report as lines: one per area with its mark (✓ ! ✗, or v ! x where `unicode_marks` is
// false), what is wrong and the fixing command indented under a problem, then a count.
void print_doctor_report(Console& console, const DoctorReport& report, bool unicode_marks);

// The --json document: {"schema", "ok", "checks": [{area, status, summary, details, fix}]}.
nlohmann::ordered_json doctor_json(const DoctorReport& report);

}  // namespace plo
