// Standalone master URLs.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "probes/master_url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  plo::parse_master_hosts(text);
  plo::is_local_master(text);
  return 0;
}
