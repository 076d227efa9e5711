#pragma once
// Collects what a transfer's finished handler is told, and waits for
// the end of the transfer thread with a bound.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <string>

#include "transfer/transfer_params.h"

namespace tarnwick::transfer::test {

struct Waiter {
  std::mutex mutex;
  std::condition_variable cv;
  int endedCount = 0;
  int conflictAsks = 0;
  bool conflictAnswer = true;
  TransferReport report;

  FinishedHandler handler() {
    return [this](int code, const TransferReport& r) {
      std::lock_guard l(mutex);
      if (code == kEventNameConflict) {
        ++conflictAsks;
        return conflictAnswer;
      }
      if (code == kEventThreadEnded) {
        ++endedCount;
        report = r;
        cv.notify_all();
      }
      return true;
    };
  }
  bool waitEnded(int ms) {
    std::unique_lock l(mutex);
    return cv.wait_for(l, std::chrono::milliseconds(ms), [this] { return endedCount > 0; });
  }
};

// Bytes that ASCII-mode transfers or text handling would change: CRLF, lone
// CR and LF, zero bytes, high bytes.
inline std::string trickyBytes(std::size_t n, unsigned seed = 7) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(rng() & 0xff);
  for (std::size_t i = 0; i + 1 < n; i += 97) {
    s[i] = '\r';
    s[i + 1] = '\n';
  }
  for (std::size_t i = 50; i < n; i += 131) s[i] = '\n';
  return s;
}

inline double secondsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace tarnwick::transfer::test

namespace tarnwick::transfer::test {

// Equality of two byte strings that prints sizes and the first difference,
// not megabytes of bytes.
inline ::testing::AssertionResult sameBytes(const std::string& got, const std::string& want) {
  if (got == want) return ::testing::AssertionSuccess();
  std::size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
  return ::testing::AssertionFailure() << "got " << got.size() << " bytes, want " << want.size()
                                       << ", first difference at " << i;
}

}  // namespace tarnwick::transfer::test
