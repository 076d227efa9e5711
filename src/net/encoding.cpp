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

}  // namespace

Text toUtf8(std::string_view gbk) {
  thread_local Converter converter("UTF-8", "GBK");
  return converter.convert(gbk);
}

Text fromUtf8(std::string_view utf8) {
  thread_local Converter converter("GBK", "UTF-8");
  return converter.convert(utf8);
}

}  // namespace tarnwick::net
