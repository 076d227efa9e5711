// The FTP control connection as the upload reads it: the commands it sent
// and the server's reply lines, in any order the input gives.
#include <string>

#include "fuzz_input.h"
#include "transfer/reply_lines.h"

using namespace tarnwick::transfer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // Lines separated by "\n"; a line that starts with ">" is a command the client sent.
  const std::string in(reinterpret_cast<const char*>(data), size);
  FtpDialogue ftp;
  std::size_t from = 0;
  while (from < in.size()) {
    std::size_t end = in.find('\n', from);
    end = end == std::string::npos ? in.size() : end + 1;
    const std::string line = in.substr(from, end - from);
    from = end;
    if (!line.empty() && line[0] == '>') readFtpCommand(line.data() + 1, line.size() - 1, ftp);
    else readFtpReply(line.data(), line.size(), ftp);
  }
  return 0;
}
