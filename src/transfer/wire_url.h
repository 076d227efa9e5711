#pragma once
// URL texts as libcurl needs them: bytes a URL cannot carry raw (spaces,
// control bytes, GBK bytes) percent-encoded; libcurl decodes them again, so
// the server receives the original bytes.

#include <string>
#include <string_view>

namespace tarnwick::transfer {

std::string escapeUrlBytes(std::string_view url);

struct FtpTarget {
  std::string authority;   // host[:port]
  std::string remoteName;  // the text after the last "/"
  std::string curlUrl;     // ftp://authority/escaped-name
};
// Splits "ftp://host[:port]/.../name". False when the text is no FTP URL or
// names no file.
bool parseFtpUrl(std::string_view url, FtpTarget& out);

}  // namespace tarnwick::transfer
