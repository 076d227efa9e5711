// The GBK text operations on arbitrary bytes: every scan must stay inside the
// text whatever lead and trail bytes it meets. Names on the way out: the
// escaped text holds no control byte, and the characters GBK cannot hold
// are found in any bytes.
#include "fuzz_input.h"
#include "net/control_escape.h"
#include "net/regex.h"
#include "net/text.h"

using namespace tarnwick::net;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzInput in = splitFuzzInput(data, size);
  const std::string& text = in.first;
  const std::string& marker = in.second;
  const int start = 1 + in.selector % 8;
  find(text, marker, start, in.selector & 1);
  findLast(text, marker, in.selector & 2);
  for (const auto& piece : splitText(text, marker)) (void)piece.size();
  textBetween(text, marker, text.substr(0, in.selector % 4));
  replaceText(text, marker, "x");
  mid(text, start, in.selector);
  trim(text);
  fromUtf8(toUtf8(text));
  textToInt(text);
  for (const char c : escapeControls(text))
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) __builtin_trap();
  for (const std::string& c : charactersGbkCannotHold(text))
    if (c.empty() || c.size() > 4) __builtin_trap();
  if (in.selector & 4) {
    // The fuzzer's own pattern: compiling may fail, matching must not crash.
    Regex regex;
    if (regex.compile(marker)) regex.findAll(text.substr(0, 4096));
  }
  return 0;
}
