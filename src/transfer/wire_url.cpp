#include "transfer/wire_url.h"

#include <cctype>

namespace tarnwick::transfer {
namespace {

void percent(std::string& out, unsigned char c) {
  static const char* hex = "0123456789ABCDEF";
  out += '%';
  out += hex[c >> 4];
  out += hex[c & 15];
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  return true;
}

}  // namespace

std::string escapeUrlBytes(std::string_view url) {
  std::string out;
  out.reserve(url.size());
  for (unsigned char c : url) {
    if (c <= 0x20 || c >= 0x7f || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
        c == '`' || c == '{' || c == '|' || c == '}')
      percent(out, c);
    else
      out += static_cast<char>(c);
  }
  return out;
}

bool parseFtpUrl(std::string_view url, FtpTarget& out) {
  if (!startsWithNoCase(url, "ftp://")) return false;
  std::string_view rest = url.substr(6);
  std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos || slash == 0) return false;
  out.authority = std::string(rest.substr(0, slash));
  std::size_t last = rest.rfind('/');
  out.remoteName = std::string(rest.substr(last + 1));
  if (out.remoteName.empty()) return false;
  // Every byte of the name is encoded, "/" and "%" included, so the name
  // reaches STOR exactly as written.
  std::string name;
  for (unsigned char c : out.remoteName) {
    if (std::isalnum(c) || c == '.' || c == '-' || c == '_' || c == '~')
      name += static_cast<char>(c);
    else
      percent(name, c);
  }
  out.curlUrl = "ftp://" + out.authority + "/" + name;
  return true;
}

}  // namespace tarnwick::transfer
