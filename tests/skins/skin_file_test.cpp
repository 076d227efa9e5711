// The skin container: round trip, the header's checks, damaged streams, and
// every entry of the program's skin table.
#include "app/skin/skin_file.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <set>
#include <string>

#include "app/skin/skin_style.h"
#include "app/skin/skin_table.h"

namespace skin = tarnwick::app::skin;

namespace {

std::vector<std::uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }

std::vector<std::uint8_t> sample() {
  std::string s;
  for (int i = 0; i < 400; ++i) s += "QPushButton { color: #" + std::to_string(100000 + i * 37) + "; }\n";
  return bytesOf(s);
}

void setSize(std::vector<std::uint8_t>& f, std::uint32_t n) {
  for (int i = 0; i < 4; ++i) f[6 + i] = static_cast<std::uint8_t>(n >> (8 * i));
}

}  // namespace

TEST(SkinFile, HeaderBytes) {
  const auto f = skin::encodeSkinFile(bytesOf("abc"));
  ASSERT_GE(f.size(), 15u);
  const std::uint8_t head[] = {'.', 'S', 'H', 'E', 0, 3, 3, 0, 0, 0, 0x5D, 0x00, 0x00, 0x80, 0x00};
  EXPECT_TRUE(std::equal(head, head + 15, f.begin()));
}

TEST(SkinFile, RoundTrip) {
  std::mt19937 rng(7);
  std::vector<std::uint8_t> noise(70000);
  for (auto& b : noise) b = static_cast<std::uint8_t>(rng());
  const std::vector<std::vector<std::uint8_t>> inputs{{}, bytesOf("x"), sample(), noise};
  for (const auto& in : inputs) {
    const auto f = skin::encodeSkinFile(in);
    ASSERT_FALSE(f.empty());
    const auto r = skin::decodeSkinFile(f);
    ASSERT_TRUE(r.ok) << in.size() << ": " << r.error;
    EXPECT_EQ(r.data, in);
  }
  EXPECT_LT(skin::encodeSkinFile(sample()).size(), sample().size() / 4);  // it really compresses
}

TEST(SkinFile, DamagedFilesAreClearErrors) {
  const auto good = skin::encodeSkinFile(sample());
  const struct {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> damage;
    const char* error;
  } cases[] = {
      {"empty", [](auto& f) { f.clear(); }, "shorter than the skin header"},
      {"header cut", [](auto& f) { f.resize(9); }, "shorter than the skin header"},
      {"wrong magic", [](auto& f) { f[1] = 's'; }, "not a skin file (magic)"},
      {"no zero byte", [](auto& f) { f[4] = 1; }, "not a skin file (magic)"},
      {"wrong version", [](auto& f) { f[5] = 2; }, "unsupported skin version 2"},
      {"properties cut", [](auto& f) { f.resize(12); }, "LZMA properties missing"},
      {"invalid properties", [](auto& f) { f[10] = 225; }, "invalid LZMA properties"},
      {"stream cut short", [](auto& f) { f.resize(f.size() / 2); }, "stream ends before the announced size"},
      {"stream cut to nothing", [](auto& f) { f.resize(15); }, "stream ends before the announced size"},
      {"size one more than the stream",
       [](auto& f) { setSize(f, static_cast<std::uint32_t>(sample().size() + 1)); }, nullptr},
      {"size one less than the stream",
       [](auto& f) { setSize(f, static_cast<std::uint32_t>(sample().size() - 1)); }, nullptr},
      {"size far too large", [](auto& f) { setSize(f, 0xFFFFFFFF); }, "unpacked size too large"},
      {"trailing bytes", [](auto& f) { f.insert(f.end(), {1, 2, 3}); }, "data after the end of the stream"},
  };
  for (const auto& c : cases) {
    auto f = good;
    c.damage(f);
    const auto r = skin::decodeSkinFile(f);
    EXPECT_FALSE(r.ok) << c.what;
    if (c.error) EXPECT_EQ(r.error, c.error) << c.what;
    else EXPECT_FALSE(r.error.empty()) << c.what;
  }
  // A flipped bit inside the stream never passes as the original text.
  for (std::size_t at = 15; at < good.size(); at += 7) {
    auto f = good;
    f[at] ^= 0x10;
    const auto r = skin::decodeSkinFile(f);
    EXPECT_TRUE(!r.ok || r.data != sample()) << at;
  }
}

TEST(SkinTable, EveryEntryUnpacksToItsOwnSkin) {
  EXPECT_TRUE(skin::skinTableEntry(0).empty());
  EXPECT_TRUE(skin::skinTableEntry(34).empty());
  EXPECT_TRUE(skin::skinTableEntry(-1).empty());
  std::set<std::string> sheets;
  for (int n = 1; n <= skin::kSkinCount; ++n) {
    const auto entry = skin::skinTableEntry(n);
    ASSERT_GE(entry.size(), skin::kSkinHeaderSize) << n;
    const auto r = skin::decodeSkinFile(entry);
    ASSERT_TRUE(r.ok) << n << ": " << r.error;
    const auto style = skin::parseSkinStyle(r.data);
    ASSERT_TRUE(style) << n;
    EXPECT_GE(style->palette.size(), 10u) << n;
    EXPECT_NE(style->sheet.find("QPushButton"), std::string::npos) << n;
    EXPECT_EQ(style->sheet.find("{{"), std::string::npos) << n;  // every placeholder filled
    sheets.insert(style->sheet);
  }
  EXPECT_EQ(sheets.size(), 33u);
}

TEST(SkinStyle, PaletteLines) {
  const auto ok = skin::parseSkinStyle(bytesOf("palette Window #0a0B0c\r\npalette Disabled.Text #ffffff\n\nQWidget {}\n"));
  ASSERT_TRUE(ok);
  ASSERT_EQ(ok->palette.size(), 2u);
  EXPECT_EQ(ok->palette[0].role, "Window");
  EXPECT_EQ(ok->palette[0].rgb, 0x0a0b0cu);
  EXPECT_EQ(ok->palette[1].group, "Disabled");
  EXPECT_EQ(ok->sheet, "\nQWidget {}\n");
  for (const char* bad : {"palette Window #12345\n\nQWidget {}", "palette Window 123456\n\nQWidget {}",
                          "palette Window #12345g\n\nQWidget {}", "palette Window\n\nQWidget {}",
                          "palette Sometimes.Text #123456\n\nQWidget {}", "palette Win-dow #123456\n\nQWidget {}",
                          "palette Window #123456\n", ""})
    EXPECT_FALSE(skin::parseSkinStyle(bytesOf(bad))) << bad;
}
