#pragma once
// The skin container: ".SHE", a zero byte, the version byte 3, the unpacked
// size as 32-bit little-endian, then a raw LZMA1 stream (5 property bytes,
// no size field, no end marker required) that unpacks to exactly that size.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarnwick::app::skin {

inline constexpr std::size_t kSkinHeaderSize = 10;  // magic 4, zero 1, version 1, size 4
inline constexpr std::uint8_t kSkinVersion = 3;
// Largest unpacked size the decoder accepts; the skins are a few tens of KB,
// so a header that claims more is damaged.
inline constexpr std::uint32_t kMaxUnpackedSkin = 16u << 20;

struct SkinFileResult {
  bool ok = false;
  std::vector<std::uint8_t> data;  // the unpacked bytes when ok
  std::string error;               // what was wrong otherwise
};

// Packs data into the container with the properties 5D 00 00 80 00 (lc 3,
// lp 0, pb 2, 8 MiB dictionary). Empty result only when liblzma fails.
std::vector<std::uint8_t> encodeSkinFile(std::span<const std::uint8_t> data);

// Checks magic, version and size and unpacks; the stream must yield exactly
// the announced size, and nothing may follow it.
SkinFileResult decodeSkinFile(std::span<const std::uint8_t> file);

}  // namespace tarnwick::app::skin
