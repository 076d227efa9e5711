// The token bucket on its own: what it grants over time, shared by several
// threads, across a rate change; and the rate texts of the command line.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "transfer/rate_limit.h"

namespace tarnwick::transfer::test {
namespace {

using Clock = std::chrono::steady_clock;

// Takes from the bucket on `takers` threads every 2 ms for `ms`; the total granted.
std::int64_t drain(RateLimiter& bucket, int takers, int ms, std::int64_t want) {
  std::atomic<std::int64_t> total{0};
  std::vector<std::thread> threads;
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  for (int i = 0; i < takers; ++i)
    threads.emplace_back([&] {
      while (Clock::now() < end) {
        total += bucket.take(want);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
  for (auto& t : threads) t.join();
  return total.load();
}

struct BucketCase {
  const char* label;
  std::int64_t rate;
  int takers;
  std::int64_t want;  // asked for per take
};

TEST(RateLimiter, GrantsTheRateWhateverTheTakers) {
  const BucketCase cases[] = {
      {"1 KiB/s, one taker, big asks", 1024, 1, 1 << 20},
      {"200 KiB/s, one taker", 200 * 1024, 1, 256 * 1024},
      {"1 MiB/s, four takers share it", 1 << 20, 4, 64 * 1024},
      {"64 KiB/s, eight takers with small asks", 64 * 1024, 8, 700},
  };
  for (const auto& c : cases) {
    RateLimiter bucket(c.rate);
    const std::int64_t got = drain(bucket, c.takers, 1000, c.want);
    // One second at the rate, and at most one burst (100 ms) more.
    EXPECT_GE(got, c.rate * 90 / 100) << c.label;
    EXPECT_LE(got, c.rate * 110 / 100 + bucket.burst()) << c.label;
  }
}

TEST(RateLimiter, ARateChangeAppliesToTheNextTake) {
  RateLimiter bucket(10 * 1024);
  const std::int64_t slow = drain(bucket, 2, 500, 1 << 20);
  bucket.setRate(200 * 1024);
  const std::int64_t fast = drain(bucket, 2, 500, 1 << 20);
  bucket.setRate(0);
  const std::int64_t unlimited = bucket.take(1 << 30);
  EXPECT_NEAR(static_cast<double>(slow), 5 * 1024, 1024);
  EXPECT_NEAR(static_cast<double>(fast), 100 * 1024, 15 * 1024);
  EXPECT_EQ(unlimited, 1 << 30);
  // Limited again: starts empty, not with what was free meanwhile.
  bucket.setRate(1024);
  EXPECT_LT(bucket.take(1 << 20), 64);
}

TEST(RateLimiter, GrantsWholeUnitsAndTakesBackWhatWasNotMoved) {
  RateLimiter bucket(100 * 1024);  // holds at most 10240
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(bucket.take(50000, 4096), 8192);  // two whole units of the 10240 held
  EXPECT_EQ(bucket.take(500, 4096), 500);     // less than a unit: what is asked, when held
  bucket.giveBack(1 << 20);                   // never beyond the bucket's size
  EXPECT_LE(bucket.take(1 << 20), bucket.burst());
  EXPECT_FALSE(bucket.ready(4096));
}

TEST(RateLimiter, ParsesRatesAsTheCommandLineWritesThem) {
  struct Case {
    const char* text;
    std::optional<std::int64_t> want;
  };
  const Case cases[] = {
      {"0", 0},          {"512", 512},       {"200K", 204800},  {"200k", 204800},      {"2M", 2097152},
      {"1G", 1073741824}, {"100KB", 102400}, {"64K/s", 65536},  {"10B", 10},           {"", std::nullopt},
      {"K", std::nullopt}, {"-5", std::nullopt}, {"1.5M", std::nullopt}, {"2T", std::nullopt},
      {"12 K", std::nullopt}, {"99999999999G", std::nullopt}, {"0x10", std::nullopt}, {"/s", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parseRate(c.text), c.want) << '"' << c.text << '"';
}

}  // namespace
}  // namespace tarnwick::transfer::test
