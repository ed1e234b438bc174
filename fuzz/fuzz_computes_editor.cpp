// computes.yml edits: whatever the text, an edit either is refused or leaves a file that defines
// the computes it should.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "registry/compute_registry.h"
#include "registry/computes_editor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const std::string added = plo::add_compute_text(
        text, {"fuzz", "spark", "spark://m:7077", std::nullopt, std::nullopt});
    if (!plo::YamlComputeRegistry::from_text(added, "c.yml")->get("fuzz")) __builtin_trap();
  } catch (const std::exception&) {
  }
  try {
    const std::string removed = plo::remove_compute_text(text, "prod");
    if (plo::YamlComputeRegistry::from_text(removed, "c.yml")->get("prod")) __builtin_trap();
  } catch (const std::exception&) {
  }
  return 0;
}
