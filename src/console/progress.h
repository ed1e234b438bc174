#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "console/console.h"

namespace plo {

// "45.2 MiB": a byte count as people read it.
std::string byte_size_text(std::uint64_t bytes);

// One progress line: a bar, the bytes so far of `total`, the rate and the time left.
std::string progress_text(std::uint64_t received, std::uint64_t total,
                          std::chrono::milliseconds elapsed);

// A download's progress on the console: one line redrawn on a terminal (at most ten times a
// second), elsewhere a plain line every few seconds and one at the end.
class ProgressLine {
 public:
  using Clock = std::chrono::steady_clock;

  explicit ProgressLine(Console& console) : console_(console), start_(Clock::now()) {}

  void update(std::uint64_t received, std::uint64_t total);

 private:
  Console& console_;
  Clock::time_point start_;
  std::optional<Clock::time_point> shown_;
};

}  // namespace plo
