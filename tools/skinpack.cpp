// Builds the skin table: reads the colour table (one skin per line) and the
// style-sheet templates, writes each skin's text (palette lines + style
// sheet), packs it into the skin container and emits a C++ source file with
// the 33 packed entries. Fails when a skin's text colour is not readable on
// its backgrounds (contrast ratio below 4.5).
//
//   skinpack <skins.txt> <template dir> <out.cpp> [<dump dir>]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/skin/skin_file.h"

namespace {

struct Rgb {
  double r = 0, g = 0, b = 0;
};

Rgb parse(const std::string& hex) {
  if (hex.size() != 7 || hex[0] != '#') throw std::runtime_error("bad colour " + hex);
  const unsigned long v = std::stoul(hex.substr(1), nullptr, 16);
  return {double((v >> 16) & 255), double((v >> 8) & 255), double(v & 255)};
}

std::string hex(Rgb c) {
  char buf[8];
  auto ch = [](double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 255.0))); };
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", ch(c.r), ch(c.g), ch(c.b));
  return buf;
}

Rgb mix(Rgb a, Rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

double luminance(Rgb c) {
  auto lin = [](double v) {
    v /= 255.0;
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * lin(c.r) + 0.7152 * lin(c.g) + 0.0722 * lin(c.b);
}

double contrast(Rgb a, Rgb b) {
  double x = luminance(a), y = luminance(b);
  if (x < y) std::swap(x, y);
  return (x + 0.05) / (y + 0.05);
}

std::string readFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + p.string());
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Skin {
  int number = 0;
  std::string shape;
  std::map<std::string, std::string> colours;
  std::string name;
};

// n shape window panel base alt text border accent  # name
std::vector<Skin> readTable(const std::filesystem::path& p) {
  std::istringstream in(readFile(p));
  std::vector<Skin> skins;
  std::string line;
  while (std::getline(in, line)) {
    std::string name;
    // A comment starts with "# " (colours start with "#" directly).
    if (auto c = line.find("# "); c != std::string::npos) {
      name = line.substr(c + 2);
      line = line.substr(0, c);
    }
    std::istringstream f(line);
    Skin s;
    if (!(f >> s.number)) continue;
    f >> s.shape;
    for (const char* key : {"window", "panel", "base", "alt", "text", "border", "accent"}) {
      std::string v;
      if (!(f >> v)) throw std::runtime_error("skin " + std::to_string(s.number) + ": missing " + key);
      parse(v);
      s.colours[key] = v;
    }
    s.name = name;
    skins.push_back(std::move(s));
  }
  return skins;
}

// Colours derived from the table's seven, then the text of the skin.
std::string skinText(const Skin& s, const std::string& tmpl) {
  std::map<std::string, std::string> c = s.colours;
  const Rgb window = parse(c["window"]), panel = parse(c["panel"]), base = parse(c["base"]);
  const Rgb text = parse(c["text"]), accent = parse(c["accent"]);
  const bool dark = luminance(base) < 0.2;
  const Rgb white{255, 255, 255}, ink{16, 20, 24};
  const Rgb accentText = contrast(accent, white) >= contrast(accent, ink) ? white : ink;
  for (const auto& [what, bg] : std::initializer_list<std::pair<const char*, Rgb>>{
           {"window", window}, {"panel", panel}, {"base", base}})
    if (contrast(text, bg) < 4.5)
      throw std::runtime_error("skin " + std::to_string(s.number) + ": text unreadable on " + what);
  if (contrast(accentText, accent) < 4.5)
    throw std::runtime_error("skin " + std::to_string(s.number) + ": accent too weak for its text");
  c["accentText"] = hex(accentText);
  c["muted"] = hex(mix(text, base, 0.45));
  c["hover"] = hex(mix(panel, accent, 0.14));
  c["pressed"] = hex(mix(panel, accent, 0.30));
  c["soft"] = hex(mix(base, accent, dark ? 0.28 : 0.16));
  c["accentDeep"] = hex(mix(accent, dark ? white : Rgb{0, 0, 0}, 0.2));
  c["panelTop"] = hex(mix(panel, white, dark ? 0.06 : 0.6));
  c["panelBottom"] = hex(mix(panel, dark ? Rgb{0, 0, 0} : parse(c["border"]), dark ? 0.25 : 0.35));

  std::string out = "/* skin " + std::to_string(s.number) + ": " + s.name + " */\n";
  std::string pal;
  auto line = [&](const char* role, const std::string& v) { pal += std::string("palette ") + role + " " + v + "\n"; };
  line("Window", c["window"]);
  line("WindowText", c["text"]);
  line("Base", c["base"]);
  line("AlternateBase", c["alt"]);
  line("Text", c["text"]);
  line("Button", c["panel"]);
  line("ButtonText", c["text"]);
  line("Highlight", c["accent"]);
  line("HighlightedText", c["accentText"]);
  line("ToolTipBase", c["panel"]);
  line("ToolTipText", c["text"]);
  line("PlaceholderText", c["muted"]);
  line("Link", dark ? hex(mix(accent, white, 0.3)) : c["accent"]);
  line("Mid", c["border"]);
  line("Disabled.Text", c["muted"]);
  line("Disabled.WindowText", c["muted"]);
  line("Disabled.ButtonText", c["muted"]);
  std::string sheet = tmpl;
  for (const auto& [k, v] : c) {
    const std::string key = "{{" + k + "}}";
    for (std::size_t at; (at = sheet.find(key)) != std::string::npos;) sheet.replace(at, key.size(), v);
  }
  if (auto left = sheet.find("{{"); left != std::string::npos)
    throw std::runtime_error("skin " + std::to_string(s.number) + ": unknown placeholder near " +
                             sheet.substr(left, 20));
  return pal + "\n" + out + sheet;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::cerr << "usage: skinpack <skins.txt> <template dir> <out.cpp> [<dump dir>]\n";
    return 2;
  }
  try {
    const std::vector<Skin> skins = readTable(argv[1]);
    if (skins.size() != 33) throw std::runtime_error("the table needs 33 skins, has " + std::to_string(skins.size()));
    std::ostringstream cpp;
    cpp << "// Generated by tools/skinpack from src/app/skin/skins/; do not edit.\n"
        << "#include \"app/skin/skin_table.h\"\n\nnamespace tarnwick::app::skin {\n\nnamespace {\n";
    for (std::size_t i = 0; i < skins.size(); ++i) {
      const Skin& s = skins[i];
      if (s.number != static_cast<int>(i) + 1) throw std::runtime_error("skins must be numbered 1 to 33 in order");
      const std::string text = skinText(s, readFile(std::filesystem::path(argv[2]) / (s.shape + ".qss")));
      if (argc > 4) std::ofstream(std::filesystem::path(argv[4]) / (std::to_string(s.number) + ".skin")) << text;
      const auto packed = tarnwick::app::skin::encodeSkinFile(
          {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
      if (packed.empty()) throw std::runtime_error("packing failed");
      cpp << "const std::uint8_t kSkin" << s.number << "[] = {";
      for (std::size_t b = 0; b < packed.size(); ++b) cpp << (b % 24 ? "" : "\n    ") << int(packed[b]) << ",";
      cpp << "\n};\n";
    }
    cpp << "\nconst std::span<const std::uint8_t> kTable[] = {\n";
    for (const Skin& s : skins) cpp << "    kSkin" << s.number << ",\n";
    cpp << "};\n\n}  // namespace\n\n"
        << "std::span<const std::uint8_t> skinTableEntry(int n) {\n"
        << "  if (n < 1 || n > kSkinCount) return {};\n  return kTable[n - 1];\n}\n\n"
        << "}  // namespace tarnwick::app::skin\n";
    std::ofstream(argv[3], std::ios::binary) << cpp.str();
  } catch (const std::exception& e) {
    std::cerr << "skinpack: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
