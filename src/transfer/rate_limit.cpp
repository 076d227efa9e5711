#include "transfer/rate_limit.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <limits>

namespace tarnwick::transfer {
namespace {

std::int64_t nowNs() {
  using namespace std::chrono;
  return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

constexpr std::int64_t kUnlimited = std::numeric_limits<std::int64_t>::max() / 4;

}  // namespace

RateLimiter::RateLimiter(std::int64_t bytesPerSecond) { setRate(bytesPerSecond); }

void RateLimiter::setRate(std::int64_t bytesPerSecond) {
  std::lock_guard lock(m_mutex);
  const std::int64_t now = nowNs();
  const std::int64_t rate = std::max<std::int64_t>(bytesPerSecond, 0);
  if (m_rate > 0)
    refill(now);  // what the old rate released so far stays
  else
    m_tokens = 0;  // from unlimited: the new rate starts empty
  m_rate = rate;
  m_lastNs = now;
  m_tokens = std::min(m_tokens, static_cast<double>(capacity()));
}

std::int64_t RateLimiter::rate() const {
  std::lock_guard lock(m_mutex);
  return m_rate;
}

std::int64_t RateLimiter::capacity() const {
  if (m_rate <= 0) return kUnlimited;
  return std::max<std::int64_t>(1, m_rate * kBurstMs / 1000);
}

std::int64_t RateLimiter::burst() const {
  std::lock_guard lock(m_mutex);
  return capacity();
}

void RateLimiter::refill(std::int64_t now) {
  if (now <= m_lastNs) return;
  m_tokens += static_cast<double>(m_rate) * static_cast<double>(now - m_lastNs) / 1e9;
  m_tokens = std::min(m_tokens, static_cast<double>(capacity()));
  m_lastNs = now;
}

std::int64_t RateLimiter::take(std::int64_t want, std::int64_t unit) {
  if (want <= 0) return 0;
  std::lock_guard lock(m_mutex);
  if (m_rate <= 0) return want;
  refill(nowNs());
  const auto held = static_cast<std::int64_t>(m_tokens);
  std::int64_t grant = std::min(want, held);
  if (grant < want) grant = grant / std::max<std::int64_t>(unit, 1) * std::max<std::int64_t>(unit, 1);
  m_tokens -= static_cast<double>(grant);
  return grant;
}

void RateLimiter::giveBack(std::int64_t n) {
  if (n <= 0) return;
  std::lock_guard lock(m_mutex);
  if (m_rate <= 0) return;
  m_tokens = std::min(m_tokens + static_cast<double>(n), static_cast<double>(capacity()));
}

bool RateLimiter::ready(std::int64_t n) {
  std::lock_guard lock(m_mutex);
  if (m_rate <= 0) return true;
  refill(nowNs());
  return m_tokens >= static_cast<double>(std::min(n, capacity()));
}

RateLimiter& uploadLimiter() {
  static RateLimiter limiter;
  return limiter;
}

RateLimiter& downloadLimiter() {
  static RateLimiter limiter;
  return limiter;
}

std::optional<std::int64_t> parseRate(std::string_view text) {
  if (text.size() >= 2 && text.substr(text.size() - 2) == "/s") text.remove_suffix(2);
  if (!text.empty() && (text.back() == 'B' || text.back() == 'b')) text.remove_suffix(1);
  std::int64_t scale = 1;
  if (!text.empty()) {
    switch (std::toupper(static_cast<unsigned char>(text.back()))) {
      case 'K': scale = 1024; break;
      case 'M': scale = 1024 * 1024; break;
      case 'G': scale = 1024 * 1024 * 1024; break;
      default: break;
    }
    if (scale != 1) text.remove_suffix(1);
  }
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > std::numeric_limits<std::int64_t>::max() / scale) return std::nullopt;
  return value * scale;
}

}  // namespace tarnwick::transfer
