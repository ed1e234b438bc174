#pragma once

#include <optional>
#include <string>
#include <vector>

#include "compat/java_compat_service.h"
#include "console/console.h"
#include "environment/jdk_discovery.h"

namespace plo {

// Whether the JDK runs the installed PySpark: nothing without a PySpark or without table data.
std::optional<bool> fits_pyspark(const Jdk& jdk, const std::optional<PySparkInfo>& pyspark);

// The listing lines of `jdks` ("Java 17  Debian  17.0.15  /home [OK] * CURRENT"), columns aligned,
// each after "  " or, with `numbered`, after "  [i] ".
std::vector<std::string> jdk_lines(const Console& console, const std::vector<Jdk>& jdks,
                                   const std::optional<PySparkInfo>& pyspark, bool numbered);

// The `plo java search --json` document.
std::string jdks_json(const std::vector<Jdk>& jdks, const std::optional<PySparkInfo>& pyspark);

}  // namespace plo
