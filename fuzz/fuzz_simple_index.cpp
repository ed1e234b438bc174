// A package index's JSON project page, and what plo makes of its versions: a line's patch and the
// patches beyond plo's table.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "catalogue/index_lines.h"
#include "probes/simple_index.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto listed = plo::listed_versions(text, "pyspark");
  if (!listed) return 0;
  for (const auto& line : {"3.5", "4.0", "4.1"}) {
    const auto version = plo::line_version(line, plo::PYSPARK_VERSIONS, *listed, std::nullopt);
    if (!version || plo::major_minor_of(*version) != line) __builtin_trap();
  }
  for (const plo::ListedPatch& patch :
       plo::listed_beyond_catalogue(plo::PYSPARK_VERSIONS, *listed)) {
    if (!plo::final_patch(patch.version)) __builtin_trap();
  }
  return 0;
}
