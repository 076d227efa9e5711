#include "app/skin/skin_style.h"

#include <string_view>

namespace tarnwick::app::skin {

namespace {

std::optional<std::uint32_t> parseColour(std::string_view s) {
  if (s.size() != 7 || s[0] != '#') return std::nullopt;
  std::uint32_t v = 0;
  for (char c : s.substr(1)) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return std::nullopt;
    v = v << 4 | static_cast<std::uint32_t>(d);
  }
  return v;
}

bool isName(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  return true;
}

}  // namespace

std::optional<SkinStyle> parseSkinStyle(std::span<const std::uint8_t> bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  SkinStyle style;
  std::size_t pos = 0;
  constexpr std::string_view kPalette = "palette ";
  while (pos < text.size() && text.substr(pos, kPalette.size()) == kPalette) {
    std::size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size();
    std::string_view line = text.substr(pos + kPalette.size(), eol - pos - kPalette.size());
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    std::string_view key = line.substr(0, space);
    const auto rgb = parseColour(line.substr(space + 1));
    if (!rgb) return std::nullopt;
    PaletteEntry e;
    if (const std::size_t dot = key.find('.'); dot != std::string_view::npos) {
      e.group = std::string(key.substr(0, dot));
      key = key.substr(dot + 1);
      if (e.group != "Active" && e.group != "Inactive" && e.group != "Disabled") return std::nullopt;
    }
    if (!isName(key)) return std::nullopt;
    e.role = std::string(key);
    e.rgb = *rgb;
    style.palette.push_back(std::move(e));
    pos = eol + 1;
  }
  if (pos < text.size()) style.sheet = std::string(text.substr(pos));
  if (style.sheet.find_first_not_of(" \r\n\t") == std::string::npos) return std::nullopt;
  return style;
}

}  // namespace tarnwick::app::skin
