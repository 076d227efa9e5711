#pragma once
// The lines a server sends to a transfer, read without any connection: the
// header lines of an HTTP reply (status, Content-Length, Content-Range) and
// the commands and replies of the FTP control connection. HttpDownload and
// FtpUpload feed them from libcurl's callbacks; they carry bytes of a
// server the client does not control.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnwick::transfer {

// What the header lines of the current HTTP reply said.
struct HttpReplyHead {
  int status = 0;
  std::int64_t rangeStart = -1;     // start of a 206 Content-Range
  std::int64_t rangeEnd = -1;       // last byte of a 206 Content-Range
  std::int64_t rangeTotal = -1;     // "/total" of Content-Range
  std::int64_t contentLength = -1;
  std::string badReply;             // a header that cannot be trusted (negative length, bad range)
};

// One header line as libcurl hands it ("\r\n" included). A status line
// ("HTTP/...") starts a new reply (after 100 Continue too) and resets the rest.
void readHttpHeaderLine(const std::string& line, HttpReplyHead& head);

// The FTP dialogue as seen on the control connection.
struct FtpDialogue {
  std::string lastCommand;
  int lastReply = 0;
  int restReply = 0;             // reply to REST of this attempt
  bool restRefused = false;      // REST n > 0 not answered 350: the data was not sent
  int sizeReply = 0;             // reply to the SIZE after the final reply
  std::int64_t remoteSize = -1;  // its number
  bool loggedIn = false;
  bool quitSent = false;
};

// A command line the client sent.
void readFtpCommand(const char* data, std::size_t n, FtpDialogue& ftp);
// A reply line the server sent; only the last line of a reply ("nnn text")
// counts, continuation lines are skipped. True when it was such a line.
bool readFtpReply(const char* data, std::size_t n, FtpDialogue& ftp);

}  // namespace tarnwick::transfer
