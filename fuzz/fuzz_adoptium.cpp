// The Adoptium API's answer: a JSON list of builds from a server or a mirror.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "download/adoptium.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const plo::JdkRelease release = plo::parse_adoptium_answer(text, 21, "linux", "x64");
    if (release.folder_name().find('/') != std::string::npos) __builtin_trap();
  } catch (const std::runtime_error&) {
    // A refused answer is the expected outcome for most inputs.
  }
  return 0;
}
