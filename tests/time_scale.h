#pragma once
// Upper bounds on wall-clock time in tests are multiplied by one factor, so a
// loaded machine or a sanitizer build can widen them all at once:
// TARNWICK_TEST_TIME_SCALE (default 2; e.g. 10 under the thread sanitizer).
#include <chrono>
#include <cstdlib>

inline double testTimeScale() {
  const char* v = std::getenv("TARNWICK_TEST_TIME_SCALE");
  const double f = v ? std::atof(v) : 0.0;
  return f > 0 ? f : 2.0;
}

inline std::chrono::milliseconds scaledMs(long ms) {
  return std::chrono::milliseconds(static_cast<long>(ms * testTimeScale()));
}
