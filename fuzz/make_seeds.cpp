// Writes the seed inputs of the fuzz targets into one folder per target: a
// small PE32 library image (with exports, imports and relocations), a few
// packed skin files, and short inputs whose first byte selects what a target
// reads. The build runs it for the seed run of every target; scripts/fuzz
// adds the pages of a local service before fuzzing.
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "app/skin/skin_file.h"
#include "net/text.h"
#include "pe_writer.h"

namespace {

using namespace std::string_literals;

struct Seed {
  const char* target;
  const char* name;
  std::string bytes;  // may hold zero bytes
};

// Literals are split after each "\xNN" that a hex digit follows, so the
// escape keeps its two digits.
std::vector<Seed> shortSeeds() {
  using tarnwick::net::fromUtf8;
  const std::string gbkRow = fromUtf8("<div style=\"display:none;\">pid：");
  const auto row = [&](const std::string& id, const std::string& name) {
    return gbkRow + id + fromUtf8("<文件名：") + name + fromUtf8("<大小：1KB<日期：2026-1-2<下载量：0< </div>\r\n");
  };
  return {
      {"scrape", "folder",
       "\x00<div  style=\"height:35px;\"><a style=\"margin-left: 10px;\" href=\"/x&ml=3\" target=\"_blank\">d</a>"s},
      {"scrape", "login", "\x04" "100x1001xdemox\x01"s},
      {"scrape", "listing-line-breaks",
       "\x01"s + row("7", "a\nb") + row("8", "c\r\nd") + row("9", fromUtf8("报告.txt")) + row("x", "\n") +
           fromUtf8("<div style=\"display:none;\">pid：10<文件名：open\n")},
      {"pages", "strip", "\x03" "A<b>B</b>&nbsp;C<script>x</script>"s},
      {"pages", "settings", "\x02" "selected [2] selected]4[ id=\"btn3\" style=\"width:325px;\">on<"s},
      {"pages", "ini", "\x04[s]\r\nk=\" v \"\r\n\x01s"s},
      {"text", "split", "\x05" "a|b\xd5\x7c|c\x01|"s},
      {"text", "name", "\x00" "a\x1b]0;t\x07\xf0\x9f\x98\x80\xff\n\xc2\x9b.txt"s},
      {"regex", "own-pattern", "\xf1(a+)+b\x01"s + std::string(33, 'a') + "c"},
      {"account_replies", "registered", "\x00" "3"s},
      {"account_replies", "update", "\x06" "12345|http://h/a.exe\r\n\x01" "118"s},
      {"account_replies", "form-values", "\x03" "a\xb1\xa8\x01x"s},
      {"download_plan", "address", "\x00<span>bsmzdyd1001/7/a.zip</span>"s},
      {"download_plan", "name", "\x01../..\\a\tb .zip\x01/a//b\\"s},
      {"download_plan", "long-name", "\x01"s + [] {
         std::string n;
         for (int i = 0; i < 90; ++i) n += "报";
         return n + ".tar.gz";
       }()},
      {"download_plan", "size", "\x02" "1.5KB"s},
      {"download_plan", "progress", "\x03\x10"s + std::string(7, '\0') + "\x20"s + std::string(7, '\0')},
      {"cookies", "line", "\x00#HttpOnly_.127.0.0.1\tTRUE\t/\tFALSE\t0\tTWSESSION\tabc"s},
      {"cookies", "set-cookie", "\x09TWSESSION=abc; Path=/; HttpOnly"s},
      {"cookies", "browser", "\x02lang\x01zh\x02" "127.0.0.1\x02/post"s},
      {"http_header", "partial",
       "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 5-9/10\r\nContent-Length: 5\r\n\r\n"s},
      {"http_header", "continue", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 12\r\n"s},
      {"ftp_reply", "dialogue",
       "220-Welcome\n220 ready\n>USER demo\n331 password\n>PASS x\n230 ok\n>REST 5\n350 go on\n>STOR a\n150 ok\n"
       "226 done\n>SIZE a\n213 10\n>QUIT\n221 bye\n"s},
  };
}

void write(const std::filesystem::path& p, const std::string& b) { std::ofstream(p, std::ios::binary) << b; }

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
  for (const char* t : {"load_image", "skin_file", "text", "regex", "scrape", "pages", "account_replies",
                        "download_plan", "cookies", "http_header", "ftp_reply"})
    std::filesystem::create_directories(out / t);
  for (const Seed& s : shortSeeds()) write(out / s.target / s.name, s.bytes);
  write(out / "load_image" / "dll", image());
  const std::string texts[] = {"", "palette Window #ffffff\n\nQWidget { color: #000000; }\n",
                               std::string(3000, 'q') + "QPushButton { padding: 2px; }"};
  int i = 0;
  for (const std::string& t : texts)
    write(out / "skin_file" / ("skin" + std::to_string(i++)),
          tarnwick::app::skin::encodeSkinFile({reinterpret_cast<const std::uint8_t*>(t.data()), t.size()}));
  return 0;
}
