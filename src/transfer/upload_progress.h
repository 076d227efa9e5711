#pragma once
// Numbers of the upload page: size texts, the percentage of the running
// transfer and its speed as a short moving average.

#include <cstdint>
#include <deque>
#include <string>

namespace tarnwick::transfer {

// bytes / 1024 in the shortest form with up to 13 significant digits + "KB"
// (1536 -> "1.5KB", 1000 -> "0.9765625KB").
std::string uploadSizeText(std::int64_t bytes);
// Whole kilobytes, rounded down (the size line of the page).
std::int64_t wholeKilobytes(std::int64_t bytes);
// done / size x 100 rounded half up (a value within 1e-12 below the half
// rounds up too), clamped to 0..100; 0 while the size is not known (<= 0).
int uploadPercent(std::int64_t done, std::int64_t size);

// Speed over the last few progress ticks: each tick adds the bytes moved
// since the previous one and the time that passed, so a late or early tick
// does not make the figure jump.
class SpeedAverage {
 public:
  explicit SpeedAverage(std::size_t window = 3) : m_window(window ? window : 1) {}
  void add(std::int64_t bytes, std::int64_t elapsedMs);
  void reset() { m_samples.clear(); }
  // Bytes per second over the window; 0 before the first tick.
  double bytesPerSecond() const;
  // Integer part of bytesPerSecond() / 1024.
  std::int64_t kilobytesPerSecond() const;

 private:
  struct Sample {
    std::int64_t bytes;
    std::int64_t ms;
  };
  std::size_t m_window;
  std::deque<Sample> m_samples;
};

}  // namespace tarnwick::transfer
