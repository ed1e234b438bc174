// Standalone master URLs.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "compat/master_url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  plo::parse_master_hosts(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
