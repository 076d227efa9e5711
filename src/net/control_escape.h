#pragma once
// Names and messages from the service shown on a terminal: its control
// characters written out, so a name cannot move the cursor, change the
// window title, ring the bell or shift a tab-separated column.

#include <string>
#include <string_view>

namespace tarnwick::net {

// The text with every control character escaped: "\t", "\n", "\r", ESC as
// "\x1b", any other C0 byte and DEL as "\xNN" (two lower-case hex digits), and
// a backslash as "\\", so an escape in the output stands for one byte only.
// The C1 controls of UTF-8 (U+0080..U+009F) are written as their two bytes
// ("\xc2\x9b"). Every other byte (UTF-8 characters included) is kept.
std::string escapeControls(std::string_view text);

}  // namespace tarnwick::net
