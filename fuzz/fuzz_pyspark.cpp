// The interpreter's import path listing, core metadata and pyspark/version.py.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "environment/pyspark_detect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  plo::parse_path_listing(text);
  plo::parse_pyspark_metadata(text);
  plo::parse_version_module(text);
  return 0;
}
