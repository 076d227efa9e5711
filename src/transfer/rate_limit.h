#pragma once
// Speed limits: a token bucket shared by any number of transfers, whose
// rate may change at any moment (0 = no limit).
//
// The bucket fills at the rate and holds at most what the rate releases in
// about 100 ms (kBurstMs), so a transfer that paused for a while does not
// catch up with a burst, and a taker that polls every few milliseconds finds
// small amounts often. Takers ask for what they would move and get what the
// bucket holds now (possibly 0); they pause and ask again a little later.
//
// uploadLimiter() and downloadLimiter() are the process-wide limits of each
// direction; every FTP upload and every HTTP download takes from its own
// direction on its own, so the front ends only call setRate().

#include <cstdint>
#include <mutex>
#include <optional>
#include <string_view>

namespace tarnwick::transfer {

class RateLimiter {
public:
  static constexpr std::int64_t kBurstMs = 100;

  explicit RateLimiter(std::int64_t bytesPerSecond = 0);
  RateLimiter(const RateLimiter&) = delete;
  RateLimiter& operator=(const RateLimiter&) = delete;

  // Bytes per second, 0 (or less) = unlimited. Applies to the next take.
  void setRate(std::int64_t bytesPerSecond);
  std::int64_t rate() const;
  bool limited() const { return rate() > 0; }

  // Takes up to want bytes, in whole units (want itself when it is smaller
  // than one unit and the bucket holds it); returns how many were granted,
  // want when unlimited.
  std::int64_t take(std::int64_t want, std::int64_t unit = 1);
  // Returns bytes taken but not moved (never above the bucket's size).
  void giveBack(std::int64_t n);
  // True when a take of n bytes would be granted now.
  bool ready(std::int64_t n);
  // The most the bucket holds (what the rate releases in kBurstMs; at least
  // 1); a huge number when unlimited.
  std::int64_t burst() const;

private:
  void refill(std::int64_t nowNs);  // under m_mutex
  std::int64_t capacity() const;    // under m_mutex

  mutable std::mutex m_mutex;
  std::int64_t m_rate = 0;
  double m_tokens = 0;
  std::int64_t m_lastNs = 0;
};

// The process-wide limits, shared by every transfer of each direction.
RateLimiter& uploadLimiter();
RateLimiter& downloadLimiter();

// "0", "512", "200K", "2M", "1G", "100KB", "64k/s": bytes per second; K, M
// and G count 1024, an optional trailing "B" and "/s". nullopt on anything
// else (empty, negative, fractions, unknown suffixes, overflow).
std::optional<std::int64_t> parseRate(std::string_view text);

}  // namespace tarnwick::transfer
