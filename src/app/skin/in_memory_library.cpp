#include "app/skin/in_memory_library.h"

#include <algorithm>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#endif

// Code of a mapped image runs only where it can: a 32-bit x86 Windows build.
#if defined(_WIN32) && (defined(_M_IX86) || defined(__i386__))
#define TARNWICK_RUN_IMAGE_CODE 1
#else
#define TARNWICK_RUN_IMAGE_CODE 0
#endif

namespace tarnwick::app::skin {

namespace {

constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kOptionalHeaderSize = 224;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint16_t kMaxSections = 96;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint32_t kRelHighLow = 3;

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// [offset, offset + length) lies inside a block of `size` bytes (no overflow:
// everything is widened to 64 bits).
bool inside(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
  return offset <= size && length <= size - offset;
}

// The zero-terminated text at offset, when its terminator lies inside.
bool textAt(const std::uint8_t* base, std::size_t size, std::uint64_t offset, std::string* out) {
  if (offset >= size) return false;
  const auto* start = base + offset;
  const auto* end = static_cast<const std::uint8_t*>(std::memchr(start, 0, size - offset));
  if (!end) return false;
  out->assign(reinterpret_cast<const char*>(start), end - start);
  return true;
}

class NoImports final : public ImportResolver {
 public:
  std::uintptr_t module(const std::string&) override { return 0; }
  std::uintptr_t function(std::uintptr_t, const ImportRef&) override { return 0; }
};

#if defined(_WIN32)
class WindowsResolver final : public ImportResolver {
 public:
  std::uintptr_t module(const std::string& name) override {
    HMODULE h = GetModuleHandleA(name.c_str());
    if (!h) h = LoadLibraryA(name.c_str());
    return reinterpret_cast<std::uintptr_t>(h);
  }
  std::uintptr_t function(std::uintptr_t module, const ImportRef& ref) override {
    auto h = reinterpret_cast<HMODULE>(module);
    FARPROC f = ref.byOrdinal ? GetProcAddress(h, MAKEINTRESOURCEA(ref.ordinal)) : GetProcAddress(h, ref.name.c_str());
    return reinterpret_cast<std::uintptr_t>(f);
  }
};
#endif

}  // namespace

ImportResolver& systemResolver() {
#if defined(_WIN32)
  static WindowsResolver r;
#else
  static NoImports r;
#endif
  return r;
}

InMemoryLibrary::InMemoryLibrary(ImportResolver* resolver)
    : m_resolver(resolver ? resolver : &systemResolver()) {}

// Destroying releases the header copies only when the image has run code
// (a library that was attached stays until the process ends, as its threads
// or hooks may still use it); a mapping that never ran is released.
InMemoryLibrary::~InMemoryLibrary() {
  if (m_base && !TARNWICK_RUN_IMAGE_CODE) release(m_base, m_size);
}

std::uint64_t InMemoryLibrary::roundUp(std::uint64_t value, std::uint64_t alignment) {
  if (alignment == 0) return value;
  return (value + alignment - 1) / alignment * alignment;
}

bool InMemoryLibrary::readHeaders(const std::uint8_t* data, std::size_t length) {
  m_dataLength = 0;
  m_sections.clear();
  if (!data || length < kDosHeaderSize) return false;
  m_dos.e_magic = le16(data);
  m_dos.e_lfanew = le32(data + 0x3C);
  if (m_dos.e_magic != 0x5A4D) return false;
  const std::uint64_t pe = m_dos.e_lfanew;
  if (!inside(pe, 4 + kFileHeaderSize + kOptionalHeaderSize, length)) return false;
  if (le32(data + pe) != 0x00004550) return false;

  const std::uint8_t* f = data + pe + 4;
  m_file.machine = le16(f);
  m_file.numberOfSections = le16(f + 2);
  m_file.timeDateStamp = le32(f + 4);
  m_file.pointerToSymbolTable = le32(f + 8);
  m_file.numberOfSymbols = le32(f + 12);
  m_file.sizeOfOptionalHeader = le16(f + 16);
  m_file.characteristics = le16(f + 18);
  if (m_file.sizeOfOptionalHeader != kOptionalHeaderSize) return false;

  const std::uint8_t* o = f + kFileHeaderSize;
  m_opt.magic = le16(o);
  m_opt.addressOfEntryPoint = le32(o + 16);
  m_opt.imageBase = le32(o + 28);
  m_opt.sectionAlignment = le32(o + 32);
  m_opt.fileAlignment = le32(o + 36);
  m_opt.sizeOfImage = le32(o + 56);
  m_opt.sizeOfHeaders = le32(o + 60);
  for (std::size_t i = 0; i < 16; ++i)
    m_opt.dataDirectory[i] = {le32(o + 96 + 8 * i), le32(o + 100 + 8 * i)};
  if (m_opt.magic != kPe32Magic) return false;
  // roundUp divides by the alignment; a power of two is what Windows accepts.
  const std::uint32_t a = m_opt.sectionAlignment;
  if (a == 0 || (a & (a - 1)) != 0) return false;
  if (m_opt.sizeOfHeaders == 0 || m_opt.sizeOfHeaders > length) return false;

  const std::uint64_t table = pe + 4 + kFileHeaderSize + kOptionalHeaderSize;
  if (m_file.numberOfSections > kMaxSections) return false;
  if (!inside(table, std::uint64_t{kSectionHeaderSize} * m_file.numberOfSections, length)) return false;
  for (std::uint16_t i = 0; i < m_file.numberOfSections; ++i) {
    const std::uint8_t* s = data + table + kSectionHeaderSize * i;
    SectionHeader h;
    h.name.assign(reinterpret_cast<const char*>(s), strnlen(reinterpret_cast<const char*>(s), 8));
    h.virtualSize = le32(s + 8);
    h.virtualAddress = le32(s + 12);
    h.sizeOfRawData = le32(s + 16);
    h.pointerToRawData = le32(s + 20);
    h.characteristics = le32(s + 36);
    if (h.sizeOfRawData > 0 && !inside(h.pointerToRawData, h.sizeOfRawData, length)) return false;
    m_sections.push_back(std::move(h));
  }
  m_dataLength = length;
  return true;
}

std::uint64_t InMemoryLibrary::computeImageSize() const {
  const std::uint64_t a = m_opt.sectionAlignment;
  std::uint64_t size = roundUp(m_opt.sizeOfHeaders, a);
  for (const SectionHeader& s : m_sections) {
    const std::uint64_t end =
        std::uint64_t{s.virtualAddress} + std::max(s.virtualSize, s.sizeOfRawData);
    size = std::max(size, roundUp(end, a));
  }
  return size;
}

void InMemoryLibrary::copyImage(std::uint8_t* base, const std::uint8_t* data) const {
  if (!inside(0, m_opt.sizeOfHeaders, std::min(m_dataLength, m_mapSize))) return;
  std::memcpy(base, data, m_opt.sizeOfHeaders);
  for (const SectionHeader& s : m_sections) {
    if (s.sizeOfRawData == 0) continue;
    if (!inside(s.pointerToRawData, s.sizeOfRawData, m_dataLength) ||
        !inside(s.virtualAddress, s.sizeOfRawData, m_mapSize))
      continue;  // readHeaders and computeImageSize rule this out
    std::memcpy(base + s.virtualAddress, data + s.pointerToRawData, s.sizeOfRawData);
  }
}

bool InMemoryLibrary::relocate(std::uint8_t* base) const {
  const DataDirectory d = m_opt.dataDirectory[kDirBaseReloc];
  if (d.size == 0) return true;
  if (!inside(d.virtualAddress, d.size, m_mapSize)) return false;
  // The difference modulo 2^32: the image's addresses are 32 bits wide.
  const auto delta = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(base) - m_opt.imageBase);
  std::uint64_t at = d.virtualAddress;
  const std::uint64_t end = std::uint64_t{d.virtualAddress} + d.size;
  while (end - at >= 8) {
    const std::uint32_t page = le32(base + at);
    const std::uint32_t blockSize = le32(base + at + 4);
    if (blockSize == 0 && page == 0) break;  // padding after the last block
    if (blockSize < 8 || blockSize > end - at) return false;
    for (std::uint64_t e = at + 8; e + 2 <= at + blockSize; e += 2) {
      const std::uint16_t entry = le16(base + e);
      if ((entry >> 12) != kRelHighLow) continue;
      const std::uint64_t target = std::uint64_t{page} + (entry & 0x0FFF);
      if (!inside(target, 4, m_mapSize)) return false;
      put32(base + target, le32(base + target) + delta);
    }
    at += blockSize;
  }
  return true;
}

bool InMemoryLibrary::bindImports(std::uint8_t* base) const {
  const DataDirectory d = m_opt.dataDirectory[kDirImport];
  if (d.size == 0) return true;
  for (std::uint64_t desc = d.virtualAddress;; desc += 20) {
    if (!inside(desc, 20, m_mapSize)) return false;
    const std::uint32_t nameRva = le32(base + desc + 12);
    const std::uint32_t iat = le32(base + desc + 16);
    if (iat == 0) return true;
    std::string moduleName;
    if (!textAt(base, m_mapSize, nameRva, &moduleName)) return false;
    const std::uintptr_t module = m_resolver->module(moduleName);
    if (!module) return false;
    for (std::uint64_t slot = iat;; slot += 4) {
      if (!inside(slot, 4, m_mapSize)) return false;
      const std::uint32_t value = le32(base + slot);
      if (value == 0) break;
      ImportRef ref;
      if (value & 0x80000000u) {
        ref.byOrdinal = true;
        ref.ordinal = static_cast<std::uint16_t>(value & 0xFFFF);
      } else if (!textAt(base, m_mapSize, std::uint64_t{value} + 2, &ref.name)) {
        return false;
      }
      const std::uintptr_t fn = m_resolver->function(module, ref);
      if (!fn) return false;
      put32(base + slot, static_cast<std::uint32_t>(fn));
    }
  }
}

std::uint8_t* InMemoryLibrary::allocate(std::size_t size) {
#if defined(_WIN32)
  const DWORD protect = TARNWICK_RUN_IMAGE_CODE ? PAGE_EXECUTE_READWRITE : PAGE_READWRITE;
  void* p = nullptr;
  if (m_placement == Placement::PreferredFirst)
    p = VirtualAlloc(reinterpret_cast<void*>(std::uintptr_t{m_opt.imageBase}), size, MEM_RESERVE | MEM_COMMIT, protect);
  if (!p) p = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, protect);
  if (p && m_placement == Placement::AvoidPreferred && reinterpret_cast<std::uintptr_t>(p) == m_opt.imageBase) {
    void* q = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, protect);
    VirtualFree(p, 0, MEM_RELEASE);
    p = q;
  }
  return static_cast<std::uint8_t*>(p);
#else
  // Anonymous memory is zero-filled, so everything past the raw data is 0.
  auto map = [size](void* hint, int extra) {
    void* p = mmap(hint, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | extra, -1, 0);
    return p == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(p);
  };
  void* preferred = reinterpret_cast<void*>(std::uintptr_t{m_opt.imageBase});
  std::uint8_t* p = nullptr;
#ifdef MAP_FIXED_NOREPLACE
  if (m_placement == Placement::PreferredFirst && m_opt.imageBase != 0) p = map(preferred, MAP_FIXED_NOREPLACE);
#endif
  if (!p) p = map(nullptr, 0);
  if (p && p == preferred && m_placement == Placement::AvoidPreferred) {
    std::uint8_t* q = map(nullptr, 0);
    munmap(p, size);
    p = q;
  }
  return p;
#endif
}

void InMemoryLibrary::release(std::uint8_t* base, std::size_t size) {
#if defined(_WIN32)
  (void)size;
  VirtualFree(base, 0, MEM_RELEASE);
#else
  munmap(base, size);
#endif
}

bool InMemoryLibrary::callEntry(std::uint8_t* base, std::uint32_t reason) const {
#if TARNWICK_RUN_IMAGE_CODE
  if (m_opt.addressOfEntryPoint == 0) return true;
  using DllMain = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);
  auto entry = reinterpret_cast<DllMain>(base + m_opt.addressOfEntryPoint);
  return entry(nullptr, reason, nullptr) != 0;
#else
  (void)base;
  (void)reason;
  return true;  // nothing runs here
#endif
}

bool InMemoryLibrary::loadImage(std::span<const std::uint8_t> bytes) {
  if (m_base) return false;
  if (!readHeaders(bytes.data(), bytes.size())) return false;
  const std::uint64_t size = computeImageSize();
  if (size == 0 || size > kMaxImageSize) return false;
  if (m_opt.addressOfEntryPoint >= size) return false;
  m_mapSize = static_cast<std::size_t>(size);
  std::uint8_t* base = allocate(m_mapSize);
  if (!base) return false;
  auto failed = [&] {
    release(base, m_mapSize);
    return false;
  };
  copyImage(base, bytes.data());
  if (reinterpret_cast<std::uintptr_t>(base) != m_opt.imageBase) {
    const bool noRelocs = m_opt.dataDirectory[kDirBaseReloc].size == 0;
    // An image linked without relocations only works at its own base.
    if (noRelocs && (m_file.characteristics & kFileRelocsStripped)) return failed();
    if (!relocate(base)) return failed();
  }
  if (!bindImports(base)) return failed();
  if ((m_file.characteristics & kFileDll) && !callEntry(base, 1)) {
    callEntry(base, 0);
    return failed();
  }
  m_base = base;
  m_size = m_mapSize;
  return true;
}

void InMemoryLibrary::unloadImage() {
  if (!m_base) return;
  if (m_file.characteristics & kFileDll) callEntry(m_base, 0);
  release(m_base, m_size);
  m_base = nullptr;
  m_size = 0;
}

std::uintptr_t InMemoryLibrary::entryAddress() const {
  return m_base ? reinterpret_cast<std::uintptr_t>(m_base) + m_opt.addressOfEntryPoint : 0;
}

std::uintptr_t InMemoryLibrary::findExport(const std::string& name) const {
  if (!m_base) return 0;
  const DataDirectory d = m_opt.dataDirectory[kDirExport];
  if (d.size == 0 || !inside(d.virtualAddress, 40, m_size)) return 0;
  const std::uint8_t* dir = m_base + d.virtualAddress;
  const std::uint32_t numberOfFunctions = le32(dir + 20);
  const std::uint32_t numberOfNames = le32(dir + 24);
  const std::uint32_t functions = le32(dir + 28);
  const std::uint32_t names = le32(dir + 32);
  const std::uint32_t ordinals = le32(dir + 36);
  if (!inside(functions, std::uint64_t{numberOfFunctions} * 4, m_size) ||
      !inside(names, std::uint64_t{numberOfNames} * 4, m_size) ||
      !inside(ordinals, std::uint64_t{numberOfNames} * 2, m_size))
    return 0;
  std::string candidate;
  for (std::uint32_t i = 0; i < numberOfNames; ++i) {
    if (!textAt(m_base, m_size, le32(m_base + names + 4 * std::uint64_t{i}), &candidate)) continue;
    if (candidate != name) continue;
    const std::uint16_t index = le16(m_base + ordinals + 2 * std::uint64_t{i});
    if (index >= numberOfFunctions) return 0;
    const std::uint32_t rva = le32(m_base + functions + 4 * std::uint64_t{index});
    if (rva == 0 || rva >= m_size) return 0;
    // An address inside the export directory names another module's export
    // ("dll.name"), not code of this image.
    if (rva >= d.virtualAddress && rva - d.virtualAddress < d.size) return 0;
    return reinterpret_cast<std::uintptr_t>(m_base) + rva;
  }
  return 0;
}

}  // namespace tarnwick::app::skin
