// What plo reads of the packages beside PySpark: core metadata's headers, Requires-Dist lines
// (PEP 508, markers evaluated), PEP 440 specifiers, and spark.jars.packages as spark-defaults.conf
// and PYSPARK_SUBMIT_ARGS give it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "catalogue/requirements.h"
#include "environment/distributions.h"
#include "environment/spark_jars.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  static const plo::MarkerEnvironment markers = {
      {"python_version", "3.11"}, {"python_full_version", "3.11.7"}, {"sys_platform", "linux"},
      {"os_name", "posix"},       {"platform_release", "6.1.0"},     {"extra", "sql"}};
  plo::parse_metadata_headers(text);
  if (const auto requirement = plo::parse_requirement(text)) {
    plo::evaluate_marker(requirement->marker, markers);
    plo::specifier_admits(requirement->specifiers, "3.5.1", true);
  }
  plo::evaluate_marker(text, markers);
  plo::specifier_admits(text, "4.0.0rc1");
  plo::spark_defaults_value(text, "spark.jars.packages");
  if (const auto packages = plo::submit_args_packages(text)) plo::parse_jar_packages(*packages);
  plo::parse_jar_packages(text);
  return 0;
}
