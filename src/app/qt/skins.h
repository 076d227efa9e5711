#pragma once
// Skins at the window border. applySkin (declared in shell.h) unpacks skin n
// of the skin table and hands it to attachSkin; these are the pieces around it.
#include <QPalette>
#include <QString>
#include <cstdint>
#include <optional>
#include <span>

namespace tarnwick::app {

// The skin applied last (1..33), 0 before the first.
int currentSkin();

// An unpacked skin as Qt sees it.
struct AppliedSkin {
  QString styleSheet;
  QPalette palette;
};
// Skin n of the table, unpacked and parsed; nullopt for a number outside
// 1..33 or a damaged entry.
std::optional<AppliedSkin> skinFromTable(int n);

// Hands an unpacked skin to the skin engine: the skin library's export
// where the library is loaded (32-bit Windows), else the application's style
// sheet and palette. False when the skin text is not a skin (nothing changes).
bool attachSkin(std::span<const std::uint8_t> skin);

}  // namespace tarnwick::app
