#include "app/skin/skin_library.h"

#if defined(_WIN32) && (defined(_M_IX86) || defined(__i386__))
#include <windows.h>
#define TARNWICK_CALL_SKIN_LIBRARY 1
#else
#define TARNWICK_CALL_SKIN_LIBRARY 0
#endif

namespace tarnwick::app::skin {

InMemoryLibrary& skinLibrary() {
  // Never destroyed: an attached library may still be in use while the
  // process ends.
  static auto* library = new InMemoryLibrary;
  return *library;
}

bool attachToSkinLibrary(std::span<const std::uint8_t> skin) {
#if TARNWICK_CALL_SKIN_LIBRARY
  const std::uintptr_t f = skinLibrary().findExport("SkinH_AttachRes");
  if (!f) return false;
  using AttachRes = int(__stdcall*)(const void*, int, const char*, int, int, int);
  reinterpret_cast<AttachRes>(f)(skin.data(), static_cast<int>(skin.size()), nullptr, 0, 0, 0);
  return true;
#else
  (void)skin;
  return false;
#endif
}

}  // namespace tarnwick::app::skin
