#include "console/progress.h"

#include <fmt/format.h>

namespace plo {

std::string byte_size_text(std::uint64_t bytes) {
  if (bytes < 1024) return fmt::format("{} B", bytes);
  if (bytes < (1 << 20)) return fmt::format("{:.1f} KiB", static_cast<double>(bytes) / 1024);
  if (bytes < (std::uint64_t{1} << 30)) {
    return fmt::format("{:.1f} MiB", static_cast<double>(bytes) / (1 << 20));
  }
  return fmt::format("{:.1f} GiB", static_cast<double>(bytes) / (1 << 30));
}

std::string progress_text(std::uint64_t received, std::uint64_t total,
                          std::chrono::milliseconds elapsed) {
  constexpr int kWidth = 24;
  const double done = total == 0 ? 1.0 : static_cast<double>(received) / static_cast<double>(total);
  const int filled = static_cast<int>(done * kWidth);
  std::string text = "  [" + std::string(filled, '#') + std::string(kWidth - filled, ' ') + "] ";
  text += byte_size_text(received) + " / " + byte_size_text(total);
  const double seconds = static_cast<double>(elapsed.count()) / 1000;
  if (seconds >= 0.5 && received > 0) {
    const double rate = static_cast<double>(received) / seconds;
    text += "  " + byte_size_text(static_cast<std::uint64_t>(rate)) + "/s";
    if (received < total) {
      const auto left = static_cast<long long>(static_cast<double>(total - received) / rate);
      text += left >= 60 ? fmt::format("  {}:{:02} left", left / 60, left % 60)
                         : fmt::format("  {} s left", left);
    }
  }
  return text;
}

void ProgressLine::update(std::uint64_t received, std::uint64_t total) {
  const auto now = Clock::now();
  const auto every = console_.redraws() ? std::chrono::milliseconds(100) : std::chrono::seconds(5);
  const bool last = received >= total;
  if (!last && shown_ && now - *shown_ < every) return;
  shown_ = now;
  console_.status(progress_text(
      received, total, std::chrono::duration_cast<std::chrono::milliseconds>(now - start_)));
}

}  // namespace plo
