// GBK <-> UTF-8 conversion (declared in text.h). An iconv descriptor keeps
// shift state and must not be used by two threads at once, so every thread
// holds its own pair of descriptors, reset before each conversion.

#include <iconv.h>

#include <cerrno>

#include "net/text.h"

namespace tarnwick::net {
namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
  ~Converter() {
    if (valid()) iconv_close(m_cd);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

  // True when the whole of in converts (a few characters: the output has room for them).
  bool convertsWhole(std::string_view in) {
    if (!valid()) return false;
    iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    char buffer[64];
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = buffer;
    std::size_t dstLeft = sizeof buffer;
    return in.size() <= 16 && iconv(m_cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1) &&
           srcLeft == 0;
  }

  // Converts everything convertible; a byte that starts an invalid sequence
  // is dropped and the conversion goes on behind it.
  std::string convert(std::string_view in) {
    std::string out;
    if (!valid() || in.empty()) return out;
    iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    out.resize(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    std::size_t done = 0;
    while (srcLeft > 0) {
      char* dst = out.data() + done;
      std::size_t dstLeft = out.size() - done;
      std::size_t r = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
      done = out.size() - dstLeft;
      if (r != static_cast<std::size_t>(-1)) break;
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
      } else if (errno == EILSEQ) {
        ++src;  // not convertible: drop it
        --srcLeft;
      } else {
        break;  // EINVAL: incomplete sequence at the end
      }
    }
    // Flush any shift state.
    for (;;) {
      char* dst = out.data() + done;
      std::size_t dstLeft = out.size() - done;
      std::size_t r = iconv(m_cd, nullptr, nullptr, &dst, &dstLeft);
      done = out.size() - dstLeft;
      if (r == static_cast<std::size_t>(-1) && errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      break;
    }
    out.resize(done);
    return out;
  }

 private:
  iconv_t m_cd;
};

// Length of the well-formed UTF-8 character at the start of s (no overlong
// form, no surrogate, nothing above U+10FFFF); 0 when it is not one.
std::size_t utf8CharLength(std::string_view s) {
  const auto byte = [&](std::size_t i) { return i < s.size() ? static_cast<unsigned char>(s[i]) : 0u; };
  const unsigned lead = byte(0);
  std::size_t n = 0;
  unsigned low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead < 0x80) return s.empty() ? 0 : 1;
  if (lead >= 0xC2 && lead <= 0xDF) n = 2;
  else if (lead >= 0xE0 && lead <= 0xEF) n = 3, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
  else if (lead >= 0xF0 && lead <= 0xF4) n = 4, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
  else return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < n; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return n;
}

}  // namespace

std::vector<std::string> charactersGbkCannotHold(std::string_view utf8) {
  thread_local Converter converter("GBK", "UTF-8");
  std::vector<std::string> out;
  const auto note = [&](std::string piece) {
    for (const std::string& seen : out)
      if (seen == piece) return;
    out.push_back(std::move(piece));
  };
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t n = utf8CharLength(utf8.substr(i));
    if (n == 0) {
      static constexpr char kHex[] = "0123456789abcdef";
      const auto c = static_cast<unsigned char>(utf8[i++]);
      note(std::string("\\x") + kHex[c >> 4] + kHex[c & 0xF]);
      continue;
    }
    const std::string_view ch = utf8.substr(i, n);
    i += n;
    if (n > 1 && !converter.convertsWhole(ch)) note(std::string(ch));
  }
  return out;
}

Text toUtf8(std::string_view gbk) {
  thread_local Converter converter("UTF-8", "GBK");
  return converter.convert(gbk);
}

Text fromUtf8(std::string_view utf8) {
  thread_local Converter converter("GBK", "UTF-8");
  return converter.convert(utf8);
}

}  // namespace tarnwick::net
