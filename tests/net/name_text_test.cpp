// Names on the way out: control characters escaped for a terminal, and the
// characters of a UTF-8 name that the service's GBK cannot hold.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/control_escape.h"
#include "net/text.h"

using namespace tarnwick::net;

TEST(NameText, ControlsEscaped) {
  struct Case {
    std::string text, expected;
  } cases[] = {
      {"报告 2026.txt", "报告 2026.txt"},
      {"a\tb\nc\rd", "a\\tb\\nc\\rd"},
      {"\x1b]0;title\x07x", "\\x1b]0;title\\x07x"},
      {"\x1b[2J", "\\x1b[2J"},
      {std::string("a\0b", 3), "a\\x00b"},
      {"del\x7f", "del\\x7f"},
      {"back\\slash\\x1b", "back\\\\slash\\\\x1b"},  // a literal "\x1b" stays tellable from ESC
      {"csi\xc2\x9b"
       "2J",
       "csi\\xc2\\x9b2J"},                         // the C1 control U+009B
      {"\xc2\xa0nbsp \xc2", "\xc2\xa0nbsp \xc2"},  // U+00A0 and a cut-off lead byte are no controls
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(escapeControls(c.text), c.expected) << c.text;
}

TEST(NameText, CharactersGbkCannotHold) {
  struct Case {
    std::string name;
    std::vector<std::string> expected;
  } cases[] = {
      {"报告 café €.txt", {}},
      {"a\tb.txt", {}},
      {"a😀.txt", {"😀"}},
      {"😀😀.txt", {"😀"}},
      {"😀한😀©", {"😀", "한", "©"}},
      {"a\xff"
       "b\xff",
       {"\\xff"}},                                    // not UTF-8: the byte, once
      {"\xed\xa0\x80", {"\\xed", "\\xa0", "\\x80"}},  // a surrogate is no character
      {"\xc0\xae.txt", {"\\xc0", "\\xae"}},           // nor an overlong "."
      {"报\xe6\x8a", {"\\xe6", "\\x8a"}},             // a character cut off at the end
      {"", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(charactersGbkCannotHold(c.name), c.expected) << c.name;
    // Whatever it finds nothing in converts whole and back.
    if (c.expected.empty()) {
      EXPECT_EQ(toUtf8(fromUtf8(c.name)), c.name) << c.name;
    }
  }
}
