// Writes the seed inputs of the fuzz targets: a small PE32 library image
// (with exports, imports and relocations) and a few packed skin files.
#include <filesystem>
#include <fstream>
#include <string>

#include "app/skin/skin_file.h"
#include "pe_writer.h"

namespace {

void write(const std::filesystem::path& p, const std::vector<std::uint8_t>& b) {
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

std::vector<std::uint8_t> image() {
  pe::Image img;
  pe::Section text{".text", 0x1000, 0x1200, std::vector<std::uint8_t>(0x40, 0xC3)};
  pe::Section data{".data", 0x3000, 0, {}};
  data.put32At(0x3000, img.imageBase + 0x1010);
  pe::Section rdata{".rdata", 0x4000, 0, {}};
  const std::uint32_t dir = rdata.reserve(40), fns = rdata.reserve(4), names = rdata.reserve(4), ords = rdata.reserve(2);
  const std::uint32_t n = rdata.text("SkinH_AttachRes");
  rdata.put32At(dir + 16, 1);
  rdata.put32At(dir + 20, 1);
  rdata.put32At(dir + 24, 1);
  rdata.put32At(dir + 28, fns);
  rdata.put32At(dir + 32, names);
  rdata.put32At(dir + 36, ords);
  rdata.put32At(fns, 0x1010);
  rdata.put32At(names, n);
  img.dirs[0] = {dir, rdata.end() - dir};
  const std::uint32_t desc = rdata.reserve(40), iat = rdata.reserve(12), hint = rdata.reserve(2);
  rdata.text("GetTickCount");
  rdata.put32At(desc + 12, rdata.text("kernel32.dll"));
  rdata.put32At(desc + 16, iat);
  rdata.put32At(iat, hint);
  rdata.put32At(iat + 4, 0x80000011);
  img.dirs[1] = {desc, 40};
  pe::Section reloc{".reloc", 0x5000, 0, {}};
  reloc.put32At(0x5000, 0x3000);
  reloc.put32At(0x5004, 12);
  reloc.put16At(0x5008, 0x3000);
  img.dirs[5] = {0x5000, 12};
  img.entry = 0x1000;
  img.sections = {text, data, rdata, reloc};
  std::vector<std::uint8_t> b = img.build();
  b.insert(b.begin(), 1);  // placement byte: elsewhere, so relocations run
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::filesystem::path out = argv[1];
  std::filesystem::create_directories(out / "load_image");
  std::filesystem::create_directories(out / "skin_file");
  write(out / "load_image" / "dll", image());
  const std::string texts[] = {"", "palette Window #ffffff\n\nQWidget { color: #000000; }\n",
                               std::string(3000, 'q') + "QPushButton { padding: 2px; }"};
  int i = 0;
  for (const std::string& t : texts)
    write(out / "skin_file" / ("skin" + std::to_string(i++)),
          tarnwick::app::skin::encodeSkinFile({reinterpret_cast<const std::uint8_t*>(t.data()), t.size()}));
  return 0;
}
