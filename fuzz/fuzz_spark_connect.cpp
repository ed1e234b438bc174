// Spark Connect URLs, AnalyzePlan answers and their gRPC framing, Databricks answers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "probes/databricks_api.h"
#include "probes/databricks_config.h"
#include "probes/spark_connect_proto.h"
#include "probes/spark_connect_url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  plo::parse_spark_connect_url(text, error);
  if (const auto message = plo::grpc_unframe(text, error)) {
    plo::decode_spark_version_response(*message);
  }
  plo::decode_spark_version_response(text);
  plo::parse_databricks_cluster(text);
  plo::spark_version_of_runtime(text, "15.4.x-scala2.12");
  plo::ini_section(text, "DEFAULT");
  return 0;
}
