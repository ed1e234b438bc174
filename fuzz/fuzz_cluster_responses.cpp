// A master's REST JSON answer and web UI page.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "probes/cluster_responses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  plo::parse_rest_version(text);
  plo::parse_web_ui_version(text);
  return 0;
}
