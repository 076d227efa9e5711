// The in-memory loader on PE32 images written by the test itself.
#include "app/skin/in_memory_library.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "pe_writer.h"

using tarnwick::app::skin::ImportRef;
using tarnwick::app::skin::ImportResolver;
using tarnwick::app::skin::InMemoryLibrary;

namespace {

constexpr std::uint32_t kBase = 0x10000000;

// Finds two modules with three functions; records what was asked.
class TestResolver : public ImportResolver {
 public:
  std::map<std::string, std::uintptr_t> modules{{"kernel32.dll", 0x100}, {"user32.dll", 0x200}};
  std::map<std::pair<std::uintptr_t, std::string>, std::uintptr_t> byName{
      {{0x100, "GetTickCount"}, 0x7700AA01}, {{0x200, "MessageBoxA"}, 0x7700BB02}};
  std::map<std::pair<std::uintptr_t, int>, std::uintptr_t> byOrdinal{{{0x100, 17}, 0x7700CC03}};
  std::vector<std::string> asked;

  std::uintptr_t module(const std::string& name) override {
    asked.push_back("module " + name);
    auto it = modules.find(name);
    return it == modules.end() ? 0 : it->second;
  }
  std::uintptr_t function(std::uintptr_t m, const ImportRef& ref) override {
    asked.push_back(ref.byOrdinal ? "#" + std::to_string(ref.ordinal) : ref.name);
    if (ref.byOrdinal) {
      auto it = byOrdinal.find({m, ref.ordinal});
      return it == byOrdinal.end() ? 0 : it->second;
    }
    auto it = byName.find({m, ref.name});
    return it == byName.end() ? 0 : it->second;
  }
};

// Where the standard image keeps what the tests look at.
struct Layout {
  std::uint32_t iatKernel = 0, iatUser = 0;
  std::uint32_t importDesc = 0, exportDir = 0;
};

// A DLL with .text (raw 0x200 bytes, virtual 0x1800), .data holding three
// absolute addresses and a value behind a non-HIGHLOW entry, .rdata with
// exports and imports, and .reloc.
pe::Image standardImage(Layout* where = nullptr, bool withImports = true) {
  pe::Image img;
  pe::Section text{".text", 0x1000, 0x1800, {}};
  text.raw.resize(0x200);
  for (std::size_t i = 0; i < text.raw.size(); ++i) text.raw[i] = static_cast<std::uint8_t>(0xC0 + i % 16);
  pe::Section data{".data", 0x3000, 0, {}};
  data.put32At(0x3000, kBase + 0x1010);
  data.put32At(0x3004, kBase + 0x1020);
  data.put32At(0x3008, kBase + 0x3100);
  data.put32At(0x300C, 0x11223344);  // named by an ABSOLUTE entry
  data.put32At(0x3010, 0xAABBCCDD);  // named by a DIR64 entry
  data.put32At(0x3014, 0x55667788);  // named by nothing

  pe::Section rdata{".rdata", 0x4000, 0, {}};
  Layout l;
  // Exports: three names (sorted), ordinal base 1.
  l.exportDir = rdata.reserve(40);
  const std::uint32_t functions = rdata.reserve(12);
  const std::uint32_t names = rdata.reserve(12);
  const std::uint32_t ordinals = rdata.reserve(6);
  const std::uint32_t n0 = rdata.text("Other"), n1 = rdata.text("SkinH_AttachRes"), n2 = rdata.text("SkinH_Detach");
  rdata.put32At(l.exportDir + 16, 1);
  rdata.put32At(l.exportDir + 20, 3);
  rdata.put32At(l.exportDir + 24, 3);
  rdata.put32At(l.exportDir + 28, functions);
  rdata.put32At(l.exportDir + 32, names);
  rdata.put32At(l.exportDir + 36, ordinals);
  // Functions: 0 -> 0x1030 (Other), 1 -> 0x1010 (AttachRes), 2 -> 0x1020 (Detach).
  rdata.put32At(functions, 0x1030);
  rdata.put32At(functions + 4, 0x1010);
  rdata.put32At(functions + 8, 0x1020);
  rdata.put32At(names, n0);
  rdata.put32At(names + 4, n1);
  rdata.put32At(names + 8, n2);
  rdata.put16At(ordinals, 0);
  rdata.put16At(ordinals + 2, 1);
  rdata.put16At(ordinals + 4, 2);
  const std::uint32_t exportEnd = rdata.end();
  img.dirs[0] = {l.exportDir, exportEnd - l.exportDir};

  if (withImports) {
    // Imports: kernel32 by name and by ordinal 17, user32 by name.
    l.importDesc = rdata.reserve(60);  // two descriptors and the zero one
    l.iatKernel = rdata.reserve(12);
    l.iatUser = rdata.reserve(8);
    const std::uint32_t hintTick = rdata.reserve(2);
    rdata.text("GetTickCount");
    const std::uint32_t hintBox = rdata.reserve(2);
    rdata.text("MessageBoxA");
    const std::uint32_t k32 = rdata.text("kernel32.dll"), u32 = rdata.text("user32.dll");
    rdata.put32At(l.iatKernel, hintTick);
    rdata.put32At(l.iatKernel + 4, 0x80000000u | 17);
    rdata.put32At(l.iatUser, hintBox);
    rdata.put32At(l.importDesc + 12, k32);
    rdata.put32At(l.importDesc + 16, l.iatKernel);
    rdata.put32At(l.importDesc + 20 + 12, u32);
    rdata.put32At(l.importDesc + 20 + 16, l.iatUser);
    img.dirs[1] = {l.importDesc, 60};
  }

  pe::Section reloc{".reloc", 0x5000, 0, {}};
  reloc.put32At(0x5000, 0x3000);
  reloc.put32At(0x5004, 8 + 2 * 6);
  const std::uint16_t entries[] = {0x3000, 0x3004, 0x3008, 0x000C, 0xA010, 0x0000};
  for (int i = 0; i < 6; ++i) reloc.put16At(0x5008 + 2 * i, entries[i]);
  img.dirs[5] = {0x5000, 8 + 2 * 6};

  img.entry = 0x1000;
  img.sections = {text, data, rdata, reloc};
  if (where) *where = l;
  return img;
}

std::uint32_t at(const InMemoryLibrary& lib, std::uint32_t rva) {
  return pe::get32(reinterpret_cast<const std::uint8_t*>(lib.imageBase() + rva));
}

// The permissions of the mapping that holds address, from /proc/self/maps.
std::string permissionsOf(std::uintptr_t address) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    std::istringstream f(line);
    std::string range, perms;
    f >> range >> perms;
    const auto dash = range.find('-');
    const auto lo = std::stoull(range.substr(0, dash), nullptr, 16), hi = std::stoull(range.substr(dash + 1), nullptr, 16);
    if (address >= lo && address < hi) return perms;
  }
  return "";
}

}  // namespace

TEST(InMemoryLibrary, CopiesHeadersAndSectionsAndZeroesTheRest) {
  TestResolver r;
  InMemoryLibrary lib(&r);
  const auto bytes = standardImage().build();
  ASSERT_TRUE(lib.loadImage(bytes));
  ASSERT_EQ(lib.mappedSize(), 0x6000u);
  const auto* m = reinterpret_cast<const std::uint8_t*>(lib.imageBase());
  EXPECT_EQ(0, std::memcmp(m, bytes.data(), pe::Image::kHeaders));
  for (std::uint32_t i = 0; i < 0x200; ++i) ASSERT_EQ(m[0x1000 + i], 0xC0 + i % 16) << i;
  // Past .text's raw data up to the next section, and past the headers.
  for (std::uint32_t i = 0x1200; i < 0x3000; ++i) ASSERT_EQ(m[i], 0) << std::hex << i;
  for (std::uint32_t i = pe::Image::kHeaders; i < 0x1000; ++i) ASSERT_EQ(m[i], 0) << std::hex << i;
  EXPECT_EQ(lib.sectionHeaders().size(), 4u);
  EXPECT_EQ(lib.sectionHeaders()[2].name, ".rdata");
  EXPECT_EQ(lib.entryAddress(), lib.imageBase() + 0x1000);
  // Nothing of the image runs here, so nothing of it is executable.
  EXPECT_EQ(permissionsOf(lib.imageBase() + 0x1000).substr(0, 3), "rw-");
}

TEST(InMemoryLibrary, AtThePreferredBaseNothingIsRelocated) {
  TestResolver r;
  InMemoryLibrary lib(&r);
  ASSERT_TRUE(lib.loadImage(standardImage().build()));
  ASSERT_EQ(lib.imageBase(), kBase) << "the preferred base 0x10000000 was taken";
  EXPECT_EQ(at(lib, 0x3000), kBase + 0x1010);
  EXPECT_EQ(at(lib, 0x3004), kBase + 0x1020);
  EXPECT_EQ(at(lib, 0x3008), kBase + 0x3100);
}

TEST(InMemoryLibrary, ElsewhereEveryHighLowEntryMovesAndOtherTypesAreSkipped) {
  TestResolver r;
  InMemoryLibrary lib(&r);
  lib.setPlacement(InMemoryLibrary::Placement::AvoidPreferred);
  ASSERT_TRUE(lib.loadImage(standardImage().build()));
  ASSERT_NE(lib.imageBase(), kBase);
  const auto delta = static_cast<std::uint32_t>(lib.imageBase() - kBase);
  EXPECT_EQ(at(lib, 0x3000), kBase + 0x1010 + delta);
  EXPECT_EQ(at(lib, 0x3004), kBase + 0x1020 + delta);
  EXPECT_EQ(at(lib, 0x3008), kBase + 0x3100 + delta);
  EXPECT_EQ(at(lib, 0x300C), 0x11223344u);
  EXPECT_EQ(at(lib, 0x3010), 0xAABBCCDDu);
  EXPECT_EQ(at(lib, 0x3014), 0x55667788u);
  EXPECT_EQ(at(lib, 0x3000 - 0x3000), pe::get32(standardImage().build().data()));  // header untouched
}

TEST(InMemoryLibrary, FindsExportsByExactName) {
  TestResolver r;
  InMemoryLibrary lib(&r);
  EXPECT_EQ(lib.findExport("SkinH_AttachRes"), 0u);  // nothing loaded
  ASSERT_TRUE(lib.loadImage(standardImage().build()));
  const struct {
    const char* name;
    std::uint32_t rva;
  } cases[] = {{"SkinH_AttachRes", 0x1010}, {"SkinH_Detach", 0x1020}, {"Other", 0x1030},
               {"skinh_attachres", 0},      {"SkinH_AttachRe", 0},     {"SkinH_AttachResX", 0},
               {"", 0},                     {"Missing", 0}};
  for (const auto& c : cases)
    EXPECT_EQ(lib.findExport(c.name), c.rva ? lib.imageBase() + c.rva : 0) << c.name;
}

TEST(InMemoryLibrary, BindsImportsByNameAndByOrdinal) {
  TestResolver r;
  InMemoryLibrary lib(&r);
  Layout l;
  ASSERT_TRUE(lib.loadImage(standardImage(&l).build()));
  EXPECT_EQ(at(lib, l.iatKernel), 0x7700AA01u);
  EXPECT_EQ(at(lib, l.iatKernel + 4), 0x7700CC03u);
  EXPECT_EQ(at(lib, l.iatKernel + 8), 0u);
  EXPECT_EQ(at(lib, l.iatUser), 0x7700BB02u);
  const std::vector<std::string> asked{"module kernel32.dll", "GetTickCount", "#17", "module user32.dll",
                                       "MessageBoxA"};
  EXPECT_EQ(r.asked, asked);
}

TEST(InMemoryLibrary, AMissingImportFailsAndReleasesTheMemory) {
  const std::vector<std::function<void(TestResolver&)>> breaks{
      [](TestResolver& r) { r.modules.erase("user32.dll"); },
      [](TestResolver& r) { r.byName.erase({0x100, "GetTickCount"}); },
      [](TestResolver& r) { r.byOrdinal.clear(); },
  };
  for (std::size_t i = 0; i < breaks.size(); ++i) {
    TestResolver r;
    breaks[i](r);
    InMemoryLibrary lib(&r);
    EXPECT_FALSE(lib.loadImage(standardImage().build())) << i;
    EXPECT_EQ(lib.imageBase(), 0u);
    // The failed attempt left the preferred base free again.
    TestResolver good;
    InMemoryLibrary next(&good);
    ASSERT_TRUE(next.loadImage(standardImage().build()));
    EXPECT_EQ(next.imageBase(), kBase) << i;
  }
  // Without a resolver of its own, an image with imports finds nothing here.
  InMemoryLibrary plain;
  EXPECT_FALSE(plain.loadImage(standardImage().build()));
  EXPECT_TRUE(plain.loadImage(standardImage(nullptr, false).build()));
}

TEST(InMemoryLibrary, ASecondLoadFailsAndKeepsTheFirstImage) {
  TestResolver r;
  InMemoryLibrary lib(&r);
  ASSERT_TRUE(lib.loadImage(standardImage().build()));
  const auto base = lib.imageBase();
  pe::Image other = standardImage();
  other.imageBase = 0x20000000;
  EXPECT_FALSE(lib.loadImage(other.build()));
  EXPECT_EQ(lib.imageBase(), base);
  EXPECT_EQ(lib.optionalHeader().imageBase, kBase);
  EXPECT_EQ(lib.findExport("SkinH_Detach"), base + 0x1020);
  lib.unloadImage();
  EXPECT_EQ(lib.imageBase(), 0u);
  EXPECT_EQ(lib.findExport("SkinH_Detach"), 0u);
  EXPECT_EQ(lib.entryAddress(), 0u);
  EXPECT_TRUE(lib.loadImage(other.build()));
}

TEST(InMemoryLibrary, RoundUpAndImageSize) {
  const struct {
    std::uint64_t v, a, want;
  } cases[] = {{0, 0x1000, 0}, {1, 0x1000, 0x1000}, {0x1000, 0x1000, 0x1000}, {0x1001, 0x1000, 0x2000},
               {0xFFFFFFFF, 0x1000, 0x100000000}};
  for (const auto& c : cases) EXPECT_EQ(InMemoryLibrary::roundUp(c.v, c.a), c.want) << c.v;
  InMemoryLibrary lib;
  const auto bytes = standardImage().build();
  ASSERT_TRUE(lib.readHeaders(bytes.data(), bytes.size()));
  EXPECT_EQ(lib.computeImageSize(), 0x6000u);  // .reloc at 0x5000, one page
}

// ---------------------------------------------------------------------------
// Damaged images: every offset and size out of range. Each must fail to load
// without reading or writing outside the data or the mapping (the address
// sanitizer build of this test checks the second part).

namespace {

struct Damage {
  const char* what;
  std::function<void(std::vector<std::uint8_t>&, const pe::Image&, const Layout&)> apply;
  // Run on the image before it is written (adds what the damage needs).
  std::function<void(pe::Image&)> prepare = nullptr;
};

// A last section at 0x6000 that fills the mapping to its end (0x7000) with
// bytes that hold no zero, so a text there has no end inside the image.
std::function<void(pe::Image&)> tail(char fill) {
  return [fill](pe::Image& img) { img.sections.push_back({".tail", 0x6000, 0, std::vector<std::uint8_t>(0x1000, fill)}); };
}
// ... or with import slots that all import ordinal 17.
void tailOfOrdinals(pe::Image& img) {
  pe::Section t{".tail", 0x6000, 0, {}};
  for (std::uint32_t k = 0; k < 0x1000; k += 4) t.put32At(0x6000 + k, 0x80000011);
  img.sections.push_back(t);
}

// File offset of an RVA inside the .rdata section (index 2) or .reloc (3).
std::uint32_t fileOfRdata(const pe::Image& img, std::uint32_t rva) { return img.rawOffset(2) + rva - 0x4000; }
std::uint32_t fileOfReloc(const pe::Image& img, std::uint32_t rva) { return img.rawOffset(3) + rva - 0x5000; }
constexpr std::uint32_t O = pe::Image::kOpt;

const std::vector<Damage>& damages() {
  using B = std::vector<std::uint8_t>;
  using I = pe::Image;
  using L = Layout;
  static const std::vector<Damage> d{
      {"empty", [](B& b, const I&, const L&) { b.clear(); }},
      {"shorter than a DOS header", [](B& b, const I&, const L&) { b.resize(63); }},
      {"no MZ", [](B& b, const I&, const L&) { b[0] = 'Z'; }},
      {"e_lfanew past the end", [](B& b, const I&, const L&) { pe::put32(b, 0x3C, 0xFFFFFFF0); }},
      {"e_lfanew leaves no room for the headers",
       [](B& b, const I&, const L&) { pe::put32(b, 0x3C, static_cast<std::uint32_t>(b.size()) - 100); }},
      {"cut inside the optional header", [](B& b, const I&, const L&) { b.resize(O + 100); }},
      {"no PE signature", [](B& b, const I&, const L&) { b[I::kPe + 2] = 1; }},
      {"optional header of another size", [](B& b, const I&, const L&) { pe::put16(b, I::kFile + 16, 240); }},
      {"PE32+ magic", [](B& b, const I&, const L&) { pe::put16(b, O, 0x20B); }},
      {"section alignment 0", [](B& b, const I&, const L&) { pe::put32(b, O + 32, 0); }},
      {"section alignment not a power of two", [](B& b, const I&, const L&) { pe::put32(b, O + 32, 0x1001); }},
      {"SizeOfHeaders past the data", [](B& b, const I&, const L&) { pe::put32(b, O + 60, 0x7FFFFFFF); }},
      {"SizeOfHeaders 0", [](B& b, const I&, const L&) { pe::put32(b, O + 60, 0); }},
      {"section table past the data", [](B& b, const I&, const L&) { pe::put16(b, I::kFile + 2, 0xFFFF); }},
      {"section table cut", [](B& b, const I&, const L&) { b.resize(I::kSections + 40 + 20); }},
      {"raw data past the end",
       [](B& b, const I& i, const L&) { pe::put32(b, i.sectionHeader(1) + 20, 0xFFFFFF00); }},
      {"raw size past the end",
       [](B& b, const I& i, const L&) { pe::put32(b, i.sectionHeader(1) + 16, 0xFFFFFFFF); }},
      {"raw data and size wrap around",
       [](B& b, const I& i, const L&) {
         pe::put32(b, i.sectionHeader(1) + 20, 0x10);
         pe::put32(b, i.sectionHeader(1) + 16, 0xFFFFFFF8);
       }},
      {"virtual address near 4 GiB",
       [](B& b, const I& i, const L&) { pe::put32(b, i.sectionHeader(3) + 12, 0xFFFFF000); }},
      {"virtual size of 4 GiB", [](B& b, const I& i, const L&) { pe::put32(b, i.sectionHeader(0) + 8, 0xFFFFFFFF); }},
      {"entry point outside the image", [](B& b, const I&, const L&) { pe::put32(b, O + 16, 0x00F00000); }},
      {"relocation directory outside the image",
       [](B& b, const I&, const L&) { pe::put32(b, O + 96 + 8 * 5, 0x00FFF000); }},
      {"relocation directory size past the image",
       [](B& b, const I&, const L&) { pe::put32(b, O + 100 + 8 * 5, 0xFFFFFFFF); }},
      {"relocation block of size 0 after data",
       [](B& b, const I& i, const L&) {
         pe::put32(b, fileOfReloc(i, 0x5000), 0x3000);
         pe::put32(b, fileOfReloc(i, 0x5004), 0);
       }},
      {"relocation block shorter than its header",
       [](B& b, const I& i, const L&) { pe::put32(b, fileOfReloc(i, 0x5004), 4); }},
      {"relocation block longer than the directory",
       [](B& b, const I& i, const L&) { pe::put32(b, fileOfReloc(i, 0x5004), 0x1000); }},
      {"relocation target past the image",
       [](B& b, const I& i, const L&) { pe::put32(b, fileOfReloc(i, 0x5000), 0x5FFE); }},
      {"relocation page far outside", [](B& b, const I& i, const L&) { pe::put32(b, fileOfReloc(i, 0x5000), 0xFFFFF000); }},
      {"import directory outside the image",
       [](B& b, const I&, const L&) { pe::put32(b, O + 96 + 8 * 1, 0x7FFFFFF0); }},
      {"import descriptors run off the image",
       [](B& b, const I&, const L&) { pe::put32(b, O + 96 + 8 * 1, 0x6000 - 8); }},
      {"module name outside the image",
       [](B& b, const I& i, const L& l) { pe::put32(b, fileOfRdata(i, l.importDesc + 12), 0x00100000); }},
      {"module name without its end",
       [](B& b, const I& i, const L& l) { pe::put32(b, fileOfRdata(i, l.importDesc + 12), 0x6F00); }, tail('a')},
      {"import address table runs off the image",
       [](B& b, const I& i, const L& l) { pe::put32(b, fileOfRdata(i, l.importDesc + 16), 0x6000); },
       tailOfOrdinals},
      {"import name without its end",
       [](B& b, const I& i, const L& l) { pe::put32(b, fileOfRdata(i, l.iatKernel), 0x7000 - 4); }, tail('a')},
      {"import name outside the image",
       [](B& b, const I& i, const L& l) { pe::put32(b, fileOfRdata(i, l.iatKernel), 0x7FFFFFFE); }},
      {"import name at the last bytes",
       [](B& b, const I& i, const L& l) { pe::put32(b, fileOfRdata(i, l.iatKernel), 0x6000 - 2); }},
  };
  return d;
}

}  // namespace

TEST(InMemoryLibrary, DamagedImagesFailCleanly) {
  for (const Damage& d : damages()) {
    Layout l;
    pe::Image img = standardImage(&l);
    if (d.prepare) {
      d.prepare(img);
      TestResolver r;
      InMemoryLibrary undamaged(&r);
      ASSERT_TRUE(undamaged.loadImage(img.build())) << d.what << " (before the damage)";
    }
    std::vector<std::uint8_t> bytes = img.build();
    d.apply(bytes, img, l);
    // An exact-size heap copy, so the sanitizer sees a read past the data.
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
    std::memcpy(exact.get(), bytes.data(), bytes.size());
    TestResolver r;
    InMemoryLibrary lib(&r);
    // Away from the preferred base, so the relocations are walked too.
    lib.setPlacement(InMemoryLibrary::Placement::AvoidPreferred);
    EXPECT_FALSE(lib.loadImage({exact.get(), bytes.size()})) << d.what;
    EXPECT_EQ(lib.imageBase(), 0u) << d.what;
    EXPECT_EQ(lib.findExport("SkinH_AttachRes"), 0u) << d.what;
  }
}

// Export tables that point outside the image load (the exports are only
// looked at when asked for) and then find nothing.
TEST(InMemoryLibrary, DamagedExportTablesFindNothing) {
  struct Case {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&, std::uint32_t dirAt)> apply;
  };
  const Case cases[] = {
      {"directory outside the image", [](auto& b, std::uint32_t) { pe::put32(b, O + 96, 0x00FFFFF0); }},
      {"directory at the last bytes", [](auto& b, std::uint32_t) { pe::put32(b, O + 96, 0x6000 - 20); }},
      {"name table outside", [](auto& b, std::uint32_t at) { pe::put32(b, at + 32, 0x7FFFFFF0); }},
      {"name count past the image", [](auto& b, std::uint32_t at) { pe::put32(b, at + 24, 0x40000000); }},
      {"ordinal table outside", [](auto& b, std::uint32_t at) { pe::put32(b, at + 36, 0x00FFFFFF); }},
      {"function table outside", [](auto& b, std::uint32_t at) { pe::put32(b, at + 28, 0xFFFFFFF0); }},
      {"function count 0", [](auto& b, std::uint32_t at) { pe::put32(b, at + 20, 0); }},
  };
  for (const Case& c : cases) {
    Layout l;
    const pe::Image img = standardImage(&l);
    std::vector<std::uint8_t> bytes = img.build();
    c.apply(bytes, fileOfRdata(img, l.exportDir));
    TestResolver r;
    InMemoryLibrary lib(&r);
    ASSERT_TRUE(lib.loadImage(bytes)) << c.what;
    EXPECT_EQ(lib.findExport("SkinH_AttachRes"), 0u) << c.what;
    EXPECT_EQ(lib.findExport("Other"), 0u) << c.what;
  }
  // Ordinal past the function table, function address outside, forwarder.
  const struct {
    const char* what;
    std::uint32_t offset;  // within the rdata section, from the export directory
    std::uint32_t value;
    bool word;
  } fields[] = {{"ordinal past the functions", 40 + 12 + 12 + 2, 7, true},
                {"function outside the image", 40 + 4, 0x00FF0000, false},
                {"forwarded export", 40 + 4, 0x4000 + 60, false}};
  for (const auto& f : fields) {
    Layout l;
    const pe::Image img = standardImage(&l);
    std::vector<std::uint8_t> bytes = img.build();
    const std::uint32_t at = fileOfRdata(img, l.exportDir) + f.offset;
    if (f.word) pe::put16(bytes, at, static_cast<std::uint16_t>(f.value));
    else pe::put32(bytes, at, f.value);
    TestResolver r;
    InMemoryLibrary lib(&r);
    ASSERT_TRUE(lib.loadImage(bytes)) << f.what;
    EXPECT_EQ(lib.findExport("SkinH_AttachRes"), 0u) << f.what;
    EXPECT_EQ(lib.findExport("Other"), lib.imageBase() + 0x1030) << f.what;
  }
}
