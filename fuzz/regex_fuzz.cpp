// The regex wrapper with the catalogue's patterns (folder entries, listing
// rows, withdrawals, search hits, records) over arbitrary pages, and with a
// pattern of the fuzzer's own: compiling may fail, matching must not crash
// or run away, whatever the page.
#include "fuzz_input.h"
#include "net/regex.h"
#include "net/text.h"

using namespace tarnwick::net;

namespace {

const std::vector<std::string>& cataloguePatterns() {
  static const std::vector<std::string> patterns = {
      "<div  style=\"height:35px;\">.*?id=\"x.*?\">",
      fromUtf8("<div style=\"display:none;\">pid：.*?<文件名：.*?<大小：.*?<日期：.*?<下载量：.*?< </div>\r"),
      "<div style=\"margin-top:5px;\">.*?&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;.*?&nbsp;.*?</div>",
      "<div style=\"margin-bottom:5px;    margin-top: 5px;\">.*?&nbsp;.*?&nbsp;.*?</div>",
      "<div style=\"float:left; padding-top:5px;\">.*?&nbsp;&nbsp&nbsp;.*?</div></div>",
  };
  return patterns;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzInput in = splitFuzzInput(data, size);
  const auto& patterns = cataloguePatterns();
  Regex regex;
  if (in.selector < 0xF0) {
    regex.compile(patterns[in.selector % patterns.size()], in.selector & 0x80);
    for (const RegexMatch& m : regex.findAll(in.first))
      if (m.position < 1 || m.text.empty()) __builtin_trap();  // every catalogue match holds its markers
    regex.replaceAll(in.first, in.second.substr(0, 64));
  } else if (regex.compile(in.second.substr(0, 256), in.selector & 1)) {
    regex.findAll(in.first.substr(0, 4096));
    regex.replaceAll(in.first.substr(0, 4096), "$1");
  }
  return 0;
}
