// spark-env.sh texts: reading JAVA_HOME, and adding and removing plo's pin.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "environment/spark_env.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  plo::spark_env_java_home(text);
  plo::pinned_java_home(text);
  // The pin reads back as written, and removing it leaves the other lines as they were.
  const std::string home = "/opt/jdk 'x' $y";
  const std::string pinned = plo::with_java_pin(text, home);
  const auto assigned = plo::spark_env_java_home(pinned);
  if (plo::pinned_java_home(pinned) != home || !assigned || assigned->java_home != home ||
      !assigned->from_pin) {
    std::abort();
  }
  std::string rest = plo::without_java_pin(text);
  if (!rest.empty() && rest.back() != '\n') rest += '\n';
  if (plo::without_java_pin(pinned) != rest) std::abort();
  return 0;
}
