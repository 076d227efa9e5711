#pragma once
// The 33 skins of the program, each a packed skin file (see skin_file.h)
// whose unpacked text is a skin style (see skin_style.h). The table is
// generated at build time from src/app/skin/skins/ by tools/skinpack.

#include <cstdint>
#include <span>

namespace tarnwick::app::skin {

inline constexpr int kSkinCount = 33;

// The packed file of skin n (1..33); empty for any other number.
std::span<const std::uint8_t> skinTableEntry(int n);

}  // namespace tarnwick::app::skin
