// computes.yml texts: any input either loads or is refused with an error, never a crash.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string_view>

#include "registry/compute_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    auto registry = plo::YamlComputeRegistry::from_text(
        std::string_view(reinterpret_cast<const char*>(data), size), "computes.yml");
    registry->get("prod");
  } catch (const std::exception&) {
  }
  return 0;
}
