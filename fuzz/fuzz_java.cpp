// Java release files, `java -version` output and Java version texts.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "environment/java_detect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const plo::ReleaseInfo release = plo::parse_release_file(text);
  if (release.java_version) plo::java_major_version(*release.java_version);
  const plo::JavaVersionOutput output = plo::parse_java_version_output(text);
  if (output.version) plo::java_major_version(*output.version);
  plo::java_major_version(text);
  return 0;
}
