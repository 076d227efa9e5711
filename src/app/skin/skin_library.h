#pragma once
// The process-wide skin library. In a 32-bit x86 Windows build the client
// can map a skin library image from memory and hand skins to its export
// "SkinH_AttachRes"; no such library ships with this program, so elsewhere
// (and without an image) the library stays unloaded and skins are applied
// by the toolkit instead.
#include <cstdint>
#include <span>

#include "app/skin/in_memory_library.h"

namespace tarnwick::app::skin {

// The one loader of the skin library (created on first use, lives until exit).
InMemoryLibrary& skinLibrary();

// Calls the loaded library's SkinH_AttachRes(skin, length, nullptr, 0, 0, 0)
// where code of a mapped image can run; false when that is not possible
// (nothing loaded, export missing, or another platform).
bool attachToSkinLibrary(std::span<const std::uint8_t> skin);

}  // namespace tarnwick::app::skin
