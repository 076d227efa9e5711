#include "transfer/upload_progress.h"

#include <cmath>

#include "net/text.h"

namespace tarnwick::transfer {

std::string uploadSizeText(std::int64_t bytes) {
  return net::numberToText(static_cast<double>(bytes) / 1024.0) + "KB";
}

std::int64_t wholeKilobytes(std::int64_t bytes) { return bytes > 0 ? bytes / 1024 : 0; }

int uploadPercent(std::int64_t done, std::int64_t size) {
  if (size <= 0 || done <= 0) return 0;
  const double value = static_cast<double>(done) / static_cast<double>(size) * 100.0;
  const int rounded = static_cast<int>(std::floor(value + 0.5 + 1e-12));
  return rounded > 100 ? 100 : rounded;
}

void SpeedAverage::add(std::int64_t bytes, std::int64_t elapsedMs) {
  m_samples.push_back({bytes > 0 ? bytes : 0, elapsedMs > 0 ? elapsedMs : 0});
  while (m_samples.size() > m_window) m_samples.pop_front();
}

double SpeedAverage::bytesPerSecond() const {
  std::int64_t bytes = 0, ms = 0;
  for (const Sample& s : m_samples) {
    bytes += s.bytes;
    ms += s.ms;
  }
  return ms > 0 ? static_cast<double>(bytes) * 1000.0 / static_cast<double>(ms) : 0.0;
}

std::int64_t SpeedAverage::kilobytesPerSecond() const {
  return static_cast<std::int64_t>(bytesPerSecond() / 1024.0);
}

}  // namespace tarnwick::transfer
