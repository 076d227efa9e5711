#pragma once
// The progress line of a running transfer on a terminal: name, percent,
// bytes done of total, speed and time left, redrawn in place.

#include <chrono>
#include <cstdint>
#include <string>

namespace tarnwick::cli {

// "1.5 MiB", "812 B", "3.2 GiB".
std::string byteText(std::int64_t bytes);
// "0:07", "1:02:03"; "--:--" when unknown.
std::string durationText(double seconds);

class ProgressLine {
 public:
  // One sample of the running transfer: bytes in place, complete size (-1
  // unknown) and bytes moved since the previous sample.
  void sample(std::int64_t done, std::int64_t total, std::int64_t moved);
  // The line for nameUtf8 (no line end).
  std::string text(const std::string& nameUtf8) const;
  void reset();

 private:
  std::int64_t m_done = 0, m_total = -1;
  bool m_between = true, m_seenBytes = false;
  double m_speed = -1;  // bytes per second, smoothed
  std::chrono::steady_clock::time_point m_last{};
};

}  // namespace tarnwick::cli
