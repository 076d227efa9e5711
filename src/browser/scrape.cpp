#include "browser/scrape.h"

#include <charconv>
#include <map>
#include <mutex>

#include "net/text.h"

namespace tarnwick::browser {

std::optional<std::string> cutBetween(std::string_view text, std::string_view leftMarker,
                                      std::string_view rightMarker) {
  const int left = net::find(text, leftMarker);
  if (left < 0) return std::nullopt;
  const int start = left + static_cast<int>(leftMarker.size());
  const int right = net::find(text, rightMarker, start);
  if (right < 0) return std::nullopt;
  return net::mid(text, start, right - start);
}

std::optional<std::int32_t> parseId(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::size_t digits = text.front() == '-' ? 1 : 0;
  if (digits == text.size()) return std::nullopt;
  for (std::size_t i = digits; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  std::int32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::int32_t> leadingInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
  std::size_t end = i < text.size() && text[i] == '-' ? i + 1 : i;
  const std::size_t firstDigit = end;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  if (end == firstDigit) return std::nullopt;
  return parseId(text.substr(i, end - i));
}

const std::string& gbk(const char* utf8Literal) {
  static std::mutex mutex;
  static std::map<const char*, std::string> cache;  // node-based: references stay valid
  std::lock_guard lock(mutex);
  auto it = cache.find(utf8Literal);
  if (it == cache.end()) it = cache.emplace(utf8Literal, net::fromUtf8(utf8Literal)).first;
  return it->second;
}

}  // namespace tarnwick::browser
