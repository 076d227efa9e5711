#pragma once
// Writes small PE32 library images for the loader tests: DOS header, PE
// header, optional header with data directories, section table and the raw
// data of each section at file alignment 0x200.
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace pe {

inline void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = v & 0xFF;
  b[at + 1] = v >> 8;
}
inline void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  if (b.size() < at + 4) b.resize(at + 4);
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline std::uint32_t get32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The contents of one section, addressed by RVA while it is written.
struct Section {
  std::string name;
  std::uint32_t va = 0;
  std::uint32_t virtualSize = 0;  // 0 = the raw size
  std::vector<std::uint8_t> raw;
  std::uint32_t end() const { return va + static_cast<std::uint32_t>(raw.size()); }
  void put32At(std::uint32_t rva, std::uint32_t v) { put32(raw, rva - va, v); }
  void put16At(std::uint32_t rva, std::uint16_t v) { put16(raw, rva - va, v); }
  // Appends a zero-terminated text and returns its RVA.
  std::uint32_t text(const std::string& s) {
    const std::uint32_t rva = end();
    raw.insert(raw.end(), s.begin(), s.end());
    raw.push_back(0);
    return rva;
  }
  std::uint32_t reserve(std::size_t n) {
    const std::uint32_t rva = end();
    raw.resize(raw.size() + n);
    return rva;
  }
};

struct Image {
  static constexpr std::uint32_t kPe = 0x40, kFile = 0x44, kOpt = 0x58, kSections = 0x58 + 224;
  static constexpr std::uint32_t kHeaders = 0x400, kFileAlign = 0x200;
  std::uint32_t imageBase = 0x10000000;
  std::uint32_t sectionAlignment = 0x1000;
  std::uint16_t characteristics = 0x2102;  // DLL, 32-bit, executable
  std::uint32_t entry = 0;
  std::array<std::pair<std::uint32_t, std::uint32_t>, 16> dirs{};
  std::vector<Section> sections;

  // File offset of a section's raw data in build()'s output.
  std::uint32_t rawOffset(std::size_t index) const {
    std::uint32_t at = kHeaders;
    for (std::size_t i = 0; i < index; ++i)
      at += (static_cast<std::uint32_t>(sections[i].raw.size()) + kFileAlign - 1) / kFileAlign * kFileAlign;
    return at;
  }
  std::uint32_t sectionHeader(std::size_t index) const { return kSections + 40 * static_cast<std::uint32_t>(index); }

  std::vector<std::uint8_t> build() const {
    std::vector<std::uint8_t> b(kHeaders, 0);
    put16(b, 0, 0x5A4D);
    put32(b, 0x3C, kPe);
    put32(b, kPe, 0x00004550);
    put16(b, kFile, 0x014C);  // i386
    put16(b, kFile + 2, static_cast<std::uint16_t>(sections.size()));
    put16(b, kFile + 16, 224);
    put16(b, kFile + 18, characteristics);
    put16(b, kOpt, 0x10B);
    put32(b, kOpt + 16, entry);
    put32(b, kOpt + 28, imageBase);
    put32(b, kOpt + 32, sectionAlignment);
    put32(b, kOpt + 36, kFileAlign);
    std::uint32_t sizeOfImage = kHeaders;
    for (const Section& s : sections)
      sizeOfImage = std::max(sizeOfImage, s.va + std::max<std::uint32_t>(s.virtualSize, s.raw.size()));
    put32(b, kOpt + 56, sizeOfImage);
    put32(b, kOpt + 60, kHeaders);
    put32(b, kOpt + 92, 16);
    for (std::size_t i = 0; i < 16; ++i) {
      put32(b, kOpt + 96 + 8 * i, dirs[i].first);
      put32(b, kOpt + 100 + 8 * i, dirs[i].second);
    }
    for (std::size_t i = 0; i < sections.size(); ++i) {
      const Section& s = sections[i];
      const std::uint32_t h = sectionHeader(i);
      std::memcpy(b.data() + h, s.name.data(), std::min<std::size_t>(8, s.name.size()));
      put32(b, h + 8, s.virtualSize ? s.virtualSize : static_cast<std::uint32_t>(s.raw.size()));
      put32(b, h + 12, s.va);
      put32(b, h + 16, static_cast<std::uint32_t>(s.raw.size()));
      put32(b, h + 20, s.raw.empty() ? 0 : rawOffset(i));
      put32(b, h + 36, 0x60000020);
    }
    for (std::size_t i = 0; i < sections.size(); ++i) {
      const std::uint32_t at = rawOffset(i);
      b.resize(at, 0);
      b.insert(b.end(), sections[i].raw.begin(), sections[i].raw.end());
    }
    b.resize((b.size() + kFileAlign - 1) / kFileAlign * kFileAlign, 0);
    return b;
  }
};

}  // namespace pe
