#include "transfer/reply_lines.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace tarnwick::transfer {
namespace {

bool startsWithNoCase(const std::string& s, const char* prefix) {
  return strncasecmp(s.c_str(), prefix, std::strlen(prefix)) == 0;
}

// A decimal number of at most 18 digits at p (spaces before it skipped);
// -1 when there is none. p is left behind it.
std::int64_t parseCount(const char*& p) {
  while (*p == ' ' || *p == '\t') ++p;
  std::int64_t v = 0;
  int digits = 0;
  while (std::isdigit(static_cast<unsigned char>(*p))) {
    if (++digits > 18) return -1;
    v = v * 10 + (*p++ - '0');
  }
  return digits == 0 ? -1 : v;
}

bool onlySpaceLeft(const char* p) {
  while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
  return *p == '\0';
}

}  // namespace

void readHttpHeaderLine(const std::string& line, HttpReplyHead& t) {
  if (startsWithNoCase(line, "HTTP/")) {
    auto sp = line.find(' ');
    t.status = sp == std::string::npos ? 0 : std::atoi(line.c_str() + sp + 1);
    t.rangeStart = t.rangeEnd = t.rangeTotal = t.contentLength = -1;
    t.badReply.clear();
  } else if (startsWithNoCase(line, "Content-Length:")) {
    const char* v = line.c_str() + 15;
    t.contentLength = parseCount(v);
    if (t.contentLength < 0 || !onlySpaceLeft(v)) t.badReply = "bad Content-Length:" + line.substr(15);
  } else if (startsWithNoCase(line, "Content-Range:")) {
    // "bytes a-b/total", "bytes a-b/*" or "bytes */total"
    const char* v = line.c_str() + 14;
    while (*v == ' ') ++v;
    if (strncasecmp(v, "bytes", 5) == 0) v += 5;
    while (*v == ' ') ++v;
    if (*v == '*') {
      ++v;
    } else {
      t.rangeStart = parseCount(v);
      if (*v == '-') ++v;
      t.rangeEnd = parseCount(v);
    }
    if (*v == '/') {
      ++v;
      if (*v == '*') ++v;
      else t.rangeTotal = parseCount(v);
    }
    const bool bounded = t.rangeStart >= 0 && t.rangeEnd >= t.rangeStart &&
                         (t.rangeTotal < 0 || t.rangeEnd < t.rangeTotal);
    if (!onlySpaceLeft(v) || (t.rangeStart >= 0 && !bounded))
      t.badReply = "bad Content-Range:" + line.substr(14);
  }
}

void readFtpCommand(const char* data, std::size_t n, FtpDialogue& ftp) {
  std::string line(data, n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  std::string command = line.substr(0, line.find(' '));
  if (command == "QUIT") ftp.quitSent = true;  // the end, not a step of the transfer
  else ftp.lastCommand = command;
}

bool readFtpReply(const char* data, std::size_t n, FtpDialogue& ftp) {
  if (ftp.quitSent || n < 4 || !std::isdigit(static_cast<unsigned char>(data[0])) || data[3] != ' ') return false;
  const int code = std::atoi(std::string(data, 3).c_str());
  if (ftp.lastCommand == "SIZE" && ftp.lastReply >= 200 && ftp.lastReply < 300) {
    // SIZE after the final reply: the status of the transfer stays that reply.
    ftp.sizeReply = code;
    if (code == 213) ftp.remoteSize = std::strtoll(std::string(data + 4, n - 4).c_str(), nullptr, 10);
    return true;
  }
  ftp.lastReply = code;
  if (code == 230) ftp.loggedIn = true;
  if (ftp.lastCommand == "REST") ftp.restReply = code;
  return true;
}

}  // namespace tarnwick::transfer
