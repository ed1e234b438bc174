// Answers typed at integer and yes/no questions, and the escaping of outside text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "console/answers.h"
#include "util/escape.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  plo::parse_integer_answer(text);
  plo::parse_yes_no_answer(text);
  plo::escape_controls(text);
  return 0;
}
