#pragma once
// GBK byte texts. Inside the program a text is a std::string of GBK bytes
// (code page 936): lengths and positions count bytes, positions are 1-based
// and -1 means "not found"; the empty text is the unset value. Every scan
// steps over whole characters (a lead byte >= 0x80 takes its trail byte with
// it), so a trail byte equal to an ASCII separator is never split or matched.
// Byte arrays (replies that may hold zero bytes) are std::string as well.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::net {

using Text = std::string;
using Pieces = std::vector<std::string>;

// Position (1-based) of the first occurrence of sub at or after start, or -1.
// An empty sub is found at position 1 of a non-empty text.
int find(std::string_view text, std::string_view sub, int start = 1, bool ignoreCase = false);
// Position of the last occurrence of sub, or -1.
int findLast(std::string_view text, std::string_view sub, bool ignoreCase = false);

Text left(std::string_view t, int n);
Text right(std::string_view t, int n);
Text mid(std::string_view t, int pos, int n);
// Every occurrence of what replaced, from the start, case-sensitive.
Text replaceText(std::string_view t, std::string_view what, std::string_view replacement);
// Pieces at every separator; no empty last piece; an empty text gives no pieces.
Pieces splitText(std::string_view t, std::string_view separator);
// Piece i (0-based) or the empty text when the list is shorter: a short reply
// is the caller's failure case, never a crash.
const std::string& pieceAt(const Pieces& pieces, std::size_t i);

Text trim(std::string_view t);
Text toUpper(std::string_view t);
Text toLower(std::string_view t);

// The text between leftMarker and rightMarker. When leftMarker is absent the
// search for rightMarker starts at position (length of leftMarker - 1).
Text textBetween(std::string_view t, std::string_view leftMarker, std::string_view rightMarker);

// GBK <-> UTF-8 through iconv; what cannot be converted is dropped.
Text toUtf8(std::string_view gbk);
Text fromUtf8(std::string_view utf8);
// The characters of a UTF-8 text that GBK cannot hold (fromUtf8 would drop
// them), each once, in the order they first occur; a byte that is not part of
// well-formed UTF-8 is listed as the text "\xNN". Empty when the text converts
// whole.
std::vector<std::string> charactersGbkCannotHold(std::string_view utf8);

// Integers in decimal; fractions in the shortest form with up to 13
// significant digits (1.5, 0.9765625); a whole value has no decimals.
Text numberToText(double value);
Text numberToText(std::int64_t value);
inline Text numberToText(int value) { return numberToText(static_cast<std::int64_t>(value)); }
// The leading decimal number of the text (sign, digits, one decimal point), 0 when none.
double textToNumber(std::string_view t);
// Integer part of textToNumber.
std::int64_t textToInt(std::string_view t);

// "%d时%d分%d秒" / "%d时%d分" / "%d时" / "" depending on which fields are zero (GBK).
Text timeOfDayText(const std::tm& when);
// "%d年%d月%d日" followed by timeOfDayText (GBK).
Text dateTimeText(const std::tm& when);

}  // namespace tarnwick::net
