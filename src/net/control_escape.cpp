#include "net/control_escape.h"

namespace tarnwick::net {

std::string escapeControls(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  const auto hex = [&](std::string& out, unsigned char c) {
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 0xF];
  };
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char ch = text[i];
    const auto c = static_cast<unsigned char>(ch);
    // A C1 control in UTF-8 (U+0080..U+009F, "\xc2\x9b" is CSI) acts on
    // many terminals as its C0 escape sequence does: both bytes are written out.
    if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F &&
        static_cast<unsigned char>(text[i + 1]) >= 0x80) {
      hex(out, c);
      hex(out, static_cast<unsigned char>(text[++i]));
      continue;
    }
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (c < 0x20 || c == 0x7F)
          hex(out, c);
        else
          out += ch;
    }
  }
  return out;
}

}  // namespace tarnwick::net
