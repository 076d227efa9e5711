// libFuzzer target: the skin-container decoder and the skin-text parser on
// any bytes. A file that decodes must survive a round trip through the
// encoder unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/skin/skin_file.h"
#include "app/skin/skin_style.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace skin = tarnwick::app::skin;
  const skin::SkinFileResult r = skin::decodeSkinFile({data, size});
  (void)skin::parseSkinStyle({data, size});
  if (!r.ok) {
    if (r.error.empty()) std::abort();  // a failure always says why
    return 0;
  }
  (void)skin::parseSkinStyle(r.data);
  const skin::SkinFileResult again = skin::decodeSkinFile(skin::encodeSkinFile(r.data));
  if (!again.ok || again.data != r.data) std::abort();
  return 0;
}
