#pragma once
// Maps a 32-bit Windows library image (PE32) from a byte array into memory
// that this object owns: copies headers and sections, applies the base
// relocations, binds the imports through a resolver, and finds exports.
//
// The entry point is called (process attach on load, detach on unload) only
// in a 32-bit x86 Windows build, where the mapping is executable. Elsewhere
// loadImage maps, relocates and binds, never executes, and the memory is
// readable and writable only.
//
// Every offset and size read from the image is checked against the data or
// the mapped size before it is followed: a damaged image makes loadImage
// return false (and findExport 0), never read or write out of bounds.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tarnwick::app::skin {

struct DosHeader {
  std::uint16_t e_magic = 0;
  std::uint32_t e_lfanew = 0;
};

struct FileHeader {
  std::uint16_t machine = 0;
  std::uint16_t numberOfSections = 0;
  std::uint32_t timeDateStamp = 0;
  std::uint32_t pointerToSymbolTable = 0;
  std::uint32_t numberOfSymbols = 0;
  std::uint16_t sizeOfOptionalHeader = 0;
  std::uint16_t characteristics = 0;
};

struct DataDirectory {
  std::uint32_t virtualAddress = 0;
  std::uint32_t size = 0;
};

// The fields of the PE32 optional header that loading uses.
struct OptionalHeader {
  std::uint16_t magic = 0;
  std::uint32_t addressOfEntryPoint = 0;
  std::uint32_t imageBase = 0;
  std::uint32_t sectionAlignment = 0;
  std::uint32_t fileAlignment = 0;
  std::uint32_t sizeOfImage = 0;
  std::uint32_t sizeOfHeaders = 0;
  std::array<DataDirectory, 16> dataDirectory{};
};

struct SectionHeader {
  std::string name;  // up to 8 bytes
  std::uint32_t virtualSize = 0;
  std::uint32_t virtualAddress = 0;
  std::uint32_t sizeOfRawData = 0;
  std::uint32_t pointerToRawData = 0;
  std::uint32_t characteristics = 0;
};

inline constexpr std::uint16_t kFileDll = 0x2000;
inline constexpr std::uint16_t kFileRelocsStripped = 0x0001;
inline constexpr int kDirExport = 0;
inline constexpr int kDirImport = 1;
inline constexpr int kDirBaseReloc = 5;
// Largest mapping accepted; the skin library maps to about 250 KB.
inline constexpr std::uint32_t kMaxImageSize = 64u << 20;

// One import of an image: by ordinal or by name.
struct ImportRef {
  bool byOrdinal = false;
  std::uint16_t ordinal = 0;
  std::string name;
};

// Finds the modules and functions an image imports. On Windows the system
// loader and GetProcAddress (systemResolver()); tests give their own.
class ImportResolver {
 public:
  virtual ~ImportResolver() = default;
  // Handle of the named module, loading it when needed; 0 = not available.
  virtual std::uintptr_t module(const std::string& name) = 0;
  // Address of a function of that module; 0 = not exported.
  virtual std::uintptr_t function(std::uintptr_t module, const ImportRef& ref) = 0;
};
// The platform's resolver: LoadLibrary/GetProcAddress on Windows; elsewhere
// one that finds nothing (an image with imports then fails to load).
ImportResolver& systemResolver();

class InMemoryLibrary {
 public:
  // Where the image goes: its preferred base first (then anywhere), or
  // anywhere but the preferred base (to exercise relocation).
  enum class Placement { PreferredFirst, AvoidPreferred };

  explicit InMemoryLibrary(ImportResolver* resolver = nullptr);
  ~InMemoryLibrary();
  InMemoryLibrary(const InMemoryLibrary&) = delete;
  InMemoryLibrary& operator=(const InMemoryLibrary&) = delete;

  void setPlacement(Placement p) { m_placement = p; }

  // Maps the image; false when one is already loaded or any step fails (the
  // memory of a failed attempt is released).
  bool loadImage(std::span<const std::uint8_t> bytes);
  // Detaches (where the entry point runs) and releases the mapping.
  void unloadImage();
  // Address of the export with exactly this name; 0 when not loaded, no
  // export directory, not exported, or forwarded to another module.
  std::uintptr_t findExport(const std::string& name) const;
  std::uintptr_t entryAddress() const;
  std::uintptr_t imageBase() const { return reinterpret_cast<std::uintptr_t>(m_base); }
  std::size_t mappedSize() const { return m_base ? m_size : 0; }

  // The steps of loadImage.
  bool readHeaders(const std::uint8_t* data, std::size_t length);
  std::uint64_t computeImageSize() const;
  static std::uint64_t roundUp(std::uint64_t value, std::uint64_t alignment);
  void copyImage(std::uint8_t* base, const std::uint8_t* data) const;
  bool relocate(std::uint8_t* base) const;
  bool bindImports(std::uint8_t* base) const;

  const DosHeader& dosHeader() const { return m_dos; }
  const FileHeader& fileHeader() const { return m_file; }
  const OptionalHeader& optionalHeader() const { return m_opt; }
  const std::vector<SectionHeader>& sectionHeaders() const { return m_sections; }

 private:
  std::uint8_t* allocate(std::size_t size);
  void release(std::uint8_t* base, std::size_t size);
  bool callEntry(std::uint8_t* base, std::uint32_t reason) const;

  ImportResolver* m_resolver;
  Placement m_placement = Placement::PreferredFirst;
  std::uint8_t* m_base = nullptr;
  std::size_t m_size = 0;        // of the mapping at m_base
  std::size_t m_dataLength = 0;  // of the data readHeaders checked
  // The size being mapped by the current loadImage (bounds of the steps).
  std::size_t m_mapSize = 0;
  DosHeader m_dos;
  FileHeader m_file;
  OptionalHeader m_opt;
  std::vector<SectionHeader> m_sections;
};

}  // namespace tarnwick::app::skin
