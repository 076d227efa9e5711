// The header lines of a download reply (status, Content-Length,
// Content-Range) as the HTTP download reads them, one reply per input.
// Lengths it accepts must be ones the body can be checked against.
#include <cstdlib>
#include <string>

#include "transfer/reply_lines.h"

using namespace tarnwick::transfer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string in(reinterpret_cast<const char*>(data), size);
  HttpReplyHead head;
  std::size_t from = 0;
  while (from < in.size()) {
    std::size_t end = in.find('\n', from);
    end = end == std::string::npos ? in.size() : end + 1;
    readHttpHeaderLine(in.substr(from, end - from), head);
    from = end;
    if (head.badReply.empty()) {
      // A range that was not refused is well formed.
      if (head.rangeStart >= 0 && (head.rangeEnd < head.rangeStart ||
                                   (head.rangeTotal >= 0 && head.rangeEnd >= head.rangeTotal)))
        std::abort();
      if (head.contentLength < -1 || head.rangeTotal < -1) std::abort();
    }
  }
  return 0;
}
