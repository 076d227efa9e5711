// The address page of a download, the local name made from a listed name,
// the save folder and the size and progress texts, on arbitrary bytes. Each
// result must keep the promise its caller relies on (a name that stays inside
// the folder, an address only behind the marker, sizes never negative).
#include <cstdlib>
#include <cstring>

#include "fuzz_input.h"
#include "transfer/download_plan.h"

using namespace tarnwick::transfer;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

std::int64_t numberFrom(const std::string& s, std::size_t at) {
  std::int64_t v = 0;
  if (s.size() >= at + 8) std::memcpy(&v, s.data() + at, 8);
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzInput in = splitFuzzInput(data, size);
  const std::string& text = in.first;
  switch (in.selector % 4) {
    case 0: {
      const std::string url = storageAddress(text, "http://s");
      check(url.empty() || (url.rfind("http://s/up/", 0) == 0 && url.size() > 12 &&
                            url.find('<') == std::string::npos && text.find("bsmzdyd") != std::string::npos));
      break;
    }
    case 1: {
      const std::string name = safeFileName(text);
      check(!name.empty() && name.size() <= kMaxFileNameBytes && name.find_first_of("/\\") == std::string::npos &&
            name[0] != '.' && name[0] != ' ');
      for (unsigned char c : name) check(c >= 0x20 && c != 0x7F);
      const std::string folder = folderWithSeparator(in.second);
      check(!folder.empty() && folder.back() == '/' && folder.find('\\') == std::string::npos &&
            folder.find("//") == std::string::npos);
      break;
    }
    case 2: {
      const std::int64_t bytes = sizeFromText(text);
      check(bytes >= -1);
      break;
    }
    case 3: {
      const std::int64_t a = numberFrom(text, 0), b = numberFrom(text, 8);
      const std::string p = progressText(a, b);
      const int percent = std::atoi(p.c_str());
      check(!p.empty() && p.back() == '%' && percent >= 0 && percent <= 100);
      const std::string s = speedText(a, b);
      check(!s.empty() && s[0] != '-');
      break;
    }
  }
  return 0;
}
