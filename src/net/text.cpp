#include "net/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace tarnwick::net {
namespace {

inline bool isLead(char c) { return static_cast<unsigned char>(c) >= 0x80; }
inline char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Length of the character starting at byte i (1 or 2; 1 for a lone lead byte at the end).
inline std::size_t charLen(std::string_view t, std::size_t i) {
  return (isLead(t[i]) && i + 1 < t.size()) ? 2 : 1;
}

// Does sub occur at byte i of text? Case folding touches single-byte
// characters only, never the trail byte of a double-byte character.
inline bool matchAt(std::string_view text, std::size_t i, std::string_view sub, bool ignoreCase) {
  if (!ignoreCase) return std::memcmp(text.data() + i, sub.data(), sub.size()) == 0;
  std::size_t j = 0;
  while (j < sub.size()) {
    char c = text[i + j];
    if (isLead(c)) {
      if (c != sub[j]) return false;
      if (j + 1 < sub.size() && text[i + j + 1] != sub[j + 1]) return false;
      j += 2;
    } else {
      if (foldAscii(c) != foldAscii(sub[j])) return false;
      ++j;
    }
  }
  return true;
}

// Case-sensitive search with memchr. A candidate found by memchr is a
// character start when the walk by characters from a known boundary lands on
// it. A byte below 0x40 is never a trail byte, so the position behind it is
// a boundary: the walk starts from the last such byte before the candidate
// (or from the furthest boundary already known), which keeps the whole
// search linear in the length of the text.
std::size_t findExact(std::string_view text, std::string_view sub, std::size_t from) {
  const std::size_t n = text.size(), m = sub.size();
  const char* data = text.data();
  const char first = sub[0];
  std::size_t aligned = from;  // a known character boundary
  std::size_t next = from;     // where memchr continues
  while (next + m <= n) {
    const void* hit = std::memchr(data + next, first, n - m + 1 - next);
    if (!hit) return std::string_view::npos;
    const std::size_t c = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
    std::size_t walk = c;
    while (walk > aligned && static_cast<unsigned char>(data[walk - 1]) >= 0x40) --walk;
    // walk is now a boundary (behind a byte < 0x40, or the known boundary).
    while (walk < c) walk += isLead(data[walk]) ? 2 : 1;
    aligned = walk;
    if (walk == c && std::memcmp(data + c, sub.data(), m) == 0) return c;
    next = walk == c ? c + (isLead(data[c]) ? 2 : 1) : walk;
    aligned = next;
  }
  return std::string_view::npos;
}

// Byte offset of the first occurrence at a character start at or after from, or npos.
std::size_t findFrom(std::string_view text, std::string_view sub, std::size_t from, bool ignoreCase) {
  const std::size_t n = text.size(), m = sub.size();
  if (m == 0 || m > n) return std::string_view::npos;
  if (!ignoreCase) return findExact(text, sub, from);
  const char first = sub[0];
  const bool foldFirst = ignoreCase && !isLead(first);
  const char firstFolded = foldAscii(first);
  std::size_t i = from;
  while (i + m <= n) {
    const char c = text[i];
    if ((c == first || (foldFirst && foldAscii(c) == firstFolded)) && matchAt(text, i, sub, ignoreCase))
      return i;
    i += isLead(c) ? 2 : 1;
  }
  return std::string_view::npos;
}

Text changeCase(std::string_view t, bool upper) {
  Text out(t);
  for (std::size_t i = 0; i < out.size(); ++i) {
    char& c = out[i];
    if (isLead(c)) {
      ++i;  // the trail byte stays as it is
    } else if (upper && c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    } else if (!upper && c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return out;
}

}  // namespace

int find(std::string_view text, std::string_view sub, int start, bool ignoreCase) {
  if (start < 1) start = 1;
  if (text.empty() || static_cast<std::size_t>(start) > text.size()) return -1;
  if (sub.empty()) return start;
  std::size_t at = findFrom(text, sub, static_cast<std::size_t>(start - 1), ignoreCase);
  return at == std::string_view::npos ? -1 : static_cast<int>(at) + 1;
}

int findLast(std::string_view text, std::string_view sub, bool ignoreCase) {
  if (text.empty()) return -1;
  if (sub.empty()) return 1;
  // Forward walk by characters keeps the character stepping exact (a backward
  // walk cannot tell a trail byte from a lead byte).
  std::size_t last = std::string_view::npos;
  std::size_t at = findFrom(text, sub, 0, ignoreCase);
  while (at != std::string_view::npos) {
    last = at;
    at = findFrom(text, sub, at + charLen(text, at), ignoreCase);
  }
  return last == std::string_view::npos ? -1 : static_cast<int>(last) + 1;
}

Text left(std::string_view t, int n) {
  if (n <= 0) return {};
  return Text(t.substr(0, static_cast<std::size_t>(n)));
}

Text right(std::string_view t, int n) {
  if (n <= 0) return {};
  const std::size_t k = std::min<std::size_t>(static_cast<std::size_t>(n), t.size());
  return Text(t.substr(t.size() - k));
}

Text mid(std::string_view t, int pos, int n) {
  if (n <= 0 || pos < 1 || static_cast<std::size_t>(pos) > t.size()) return {};
  return Text(t.substr(static_cast<std::size_t>(pos - 1), static_cast<std::size_t>(n)));
}

Text replaceText(std::string_view t, std::string_view what, std::string_view replacement) {
  if (what.empty()) return Text(t);
  Text out;
  out.reserve(t.size());
  std::size_t pos = 0;
  for (std::size_t at = findFrom(t, what, 0, false); at != std::string_view::npos;
       at = findFrom(t, what, pos, false)) {
    out.append(t.substr(pos, at - pos));
    out.append(replacement);
    pos = at + what.size();
  }
  out.append(t.substr(pos));
  return out;
}

Pieces splitText(std::string_view t, std::string_view separator) {
  Pieces pieces;
  if (t.empty()) return pieces;
  if (separator.empty()) {
    pieces.emplace_back(t);
    return pieces;
  }
  // Room for every possible piece up front (an upper bound: each piece ends
  // at a byte equal to the separator's first byte), so the list is never
  // moved while it grows.
  const auto candidates = static_cast<std::size_t>(std::count(t.begin(), t.end(), separator[0]));
  pieces.reserve(std::min(candidates, t.size() / separator.size()) + 1);
  std::size_t pieceStart = 0;
  for (std::size_t at = findFrom(t, separator, 0, false); at != std::string_view::npos;
       at = findFrom(t, separator, pieceStart, false)) {
    pieces.emplace_back(t.substr(pieceStart, at - pieceStart));
    pieceStart = at + separator.size();
  }
  if (pieceStart < t.size()) pieces.emplace_back(t.substr(pieceStart));
  return pieces;
}

const std::string& pieceAt(const Pieces& pieces, std::size_t i) {
  static const std::string empty;
  return i < pieces.size() ? pieces[i] : empty;
}

Text trim(std::string_view t) {
  std::size_t b = 0, e = t.size();
  while (b < e && t[b] == ' ') ++b;
  while (e > b && t[e - 1] == ' ') --e;
  return Text(t.substr(b, e - b));
}

Text toUpper(std::string_view t) { return changeCase(t, true); }
Text toLower(std::string_view t) { return changeCase(t, false); }

Text textBetween(std::string_view t, std::string_view leftMarker, std::string_view rightMarker) {
  const int a = find(t, leftMarker);
  // A missing left marker gives a == -1: the right marker is then searched
  // from position (length of leftMarker - 1), which callers rely on.
  const int start = a + static_cast<int>(leftMarker.size());
  const int b = find(t, rightMarker, start);
  if (b < 0) return {};
  return mid(t, start, b - start);
}

Text numberToText(std::int64_t value) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  return Text(buf, r.ptr);
}

Text numberToText(double value) {
  if (!std::isfinite(value)) return "0";
  if (value == std::floor(value) && std::fabs(value) < 9.0e18)
    return numberToText(static_cast<std::int64_t>(value));
  // Fixed notation rounded to 13 significant digits, trailing zeros dropped.
  const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(value))));
  const int decimals = std::clamp(12 - exponent, 0, 60);
  char buf[128];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  Text out(buf, r.ptr);
  if (out.find('.') != Text::npos) {
    while (!out.empty() && out.back() == '0') out.pop_back();
    if (!out.empty() && out.back() == '.') out.pop_back();
  }
  if (out == "-0") out = "0";
  return out;
}

double textToNumber(std::string_view t) {
  std::size_t i = 0;
  while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
  const std::size_t begin = i;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
  bool digits = false, point = false;
  for (; i < t.size(); ++i) {
    if (t[i] >= '0' && t[i] <= '9') {
      digits = true;
    } else if (t[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return 0.0;
  std::string_view num = t.substr(begin, i - begin);
  bool negative = false;
  if (num[0] == '+' || num[0] == '-') {
    negative = num[0] == '-';
    num.remove_prefix(1);
  }
  double v = 0.0;
  auto r = std::from_chars(num.data(), num.data() + num.size(), v, std::chars_format::fixed);
  if (r.ec != std::errc()) return 0.0;
  return negative ? -v : v;
}

std::int64_t textToInt(std::string_view t) {
  const double v = std::trunc(textToNumber(t));
  constexpr double lim = 9.2e18;
  if (v >= lim) return std::numeric_limits<std::int64_t>::max();
  if (v <= -lim) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(v);
}

Text timeOfDayText(const std::tm& when) {
  // GBK: 时 = CA B1, 分 = B7 D6, 秒 = C3 EB
  const Text h = numberToText(when.tm_hour), m = numberToText(when.tm_min), s = numberToText(when.tm_sec);
  if (when.tm_sec != 0) return h + "\xCA\xB1" + m + "\xB7\xD6" + s + "\xC3\xEB";
  if (when.tm_min != 0) return h + "\xCA\xB1" + m + "\xB7\xD6";
  if (when.tm_hour != 0) return h + "\xCA\xB1";
  return {};
}

Text dateTimeText(const std::tm& when) {
  // GBK: 年 = C4 EA, 月 = D4 C2, 日 = C8 D5
  return numberToText(when.tm_year + 1900) + "\xC4\xEA" + numberToText(when.tm_mon + 1) + "\xD4\xC2" +
         numberToText(when.tm_mday) + "\xC8\xD5" + timeOfDayText(when);
}

}  // namespace tarnwick::net
