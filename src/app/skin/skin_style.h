#pragma once
// The text of one unpacked skin: palette lines, a blank line, then a Qt
// style sheet.
//
//   palette Window #f3f5f8
//   palette Disabled.Text #9aa3ad
//
//   QPushButton { ... }
//
// A palette line names a colour role (optionally with a colour group before
// a dot) and a colour #rrggbb.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarnwick::app::skin {

struct PaletteEntry {
  std::string group;  // "" = every group, else "Active", "Inactive" or "Disabled"
  std::string role;   // "Window", "Text", ...
  std::uint32_t rgb = 0;
};

struct SkinStyle {
  std::vector<PaletteEntry> palette;
  std::string sheet;
};

// nullopt when a palette line is malformed or the text has no style sheet.
std::optional<SkinStyle> parseSkinStyle(std::span<const std::uint8_t> text);

}  // namespace tarnwick::app::skin
