#pragma once
// Small strict helpers for cutting fields out of the service's pages: a
// field whose markers are missing, or an id that is not a number, is
// reported as absent so the caller can skip the entry instead of showing
// whatever a loose cut would return.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick::browser {

// The text after the first leftMarker up to the next rightMarker, or nullopt
// when either marker is missing.
std::optional<std::string> cutBetween(std::string_view text, std::string_view leftMarker,
                                      std::string_view rightMarker);

// A decimal id ("0", "42", "-7") that fits a 32-bit signed integer; nullopt
// for anything else (blanks, signs alone, letters, overflow).
std::optional<std::int32_t> parseId(std::string_view text);

// The leading integer of a field: blanks (space, tab, CR, LF) skipped, an
// optional "-", then the digits up to the first other byte ("12&x=1" -> 12,
// " 3 " -> 3). nullopt when no digit follows the blanks or the number does
// not fit a 32-bit signed integer.
std::optional<std::int32_t> leadingInt(std::string_view text);

// A literal written in this source (UTF-8) as a GBK program text; converted
// once per distinct literal.
const std::string& gbk(const char* utf8Literal);

}  // namespace tarnwick::browser
