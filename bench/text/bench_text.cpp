// Timings of the listing scrape and of the text operations on large texts.
// Usage: bench_text [repetitions]   (default 5; the best run is reported)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "net/regex.h"
#include "net/text.h"

using namespace tarnwick::net;

namespace {

// GBK markers of the listing page.
const std::string kPid = "pid\xA3\xBA";                     // pid：
const std::string kName = "\xCE\xC4\xBC\xFE\xC3\xFB\xA3\xBA";  // 文件名：
const std::string kSize = "\xB4\xF3\xD0\xA1\xA3\xBA";          // 大小：
const std::string kDate = "\xC8\xD5\xC6\xDA\xA3\xBA";          // 日期：
const std::string kCount = "\xCF\xC2\xD4\xD8\xC1\xBF\xA3\xBA";  // 下载量：
const std::string kWen = "\xCE\xC4";                          // 文
const std::string kBar = "\x81\x7C";                          // 亅 (trail byte "|")

// The file-row pattern of the listing page, ending with a carriage return.
std::string rowPattern() {
  return "<div style=\"display:none;\">" + kPid + ".*?<" + kName + ".*?<" + kSize + ".*?<" + kDate + ".*?<" +
         kCount + ".*?< </div>\r";
}

// A listing page of about `bytes` bytes: for every file a visible table row
// and the hidden data row, lines separated by "\r\n".
std::string listingPage(std::size_t bytes, int& rows) {
  std::string page = "<html><head><title>list</title></head><body>\r\n<div>\xD7\xDC\xB9\xB2\xD3\xD0" "40\xD2\xB3</div>\r\n";
  rows = 0;
  while (page.size() < bytes) {
    const std::string id = std::to_string(100000 + rows);
    const std::string name = kWen + "report-" + id + kBar + ".zip";
    page += "<tr><td class=\"name\"><a href=\"/f/" + id + "\">" + name + "</a></td><td>1.5MB</td></tr>\r\n";
    page += "<div style=\"display:none;\">" + kPid + id + "<" + kName + name + "<" + kSize + "1.5MB<" + kDate +
            "2024-03-07 12:00:00<" + kCount + std::to_string(rows % 97) + "< </div>\r\n";
    ++rows;
  }
  page += "</body></html>\r\n";
  return page;
}

double bestMs(int reps, const std::function<void()>& f) {
  double best = 1e300;
  for (int i = 0; i < reps; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    const auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  return best;
}

// A text of `bytes` bytes of "|"-separated fields that hold GBK characters
// whose trail byte is "|", with the markers "<b>" ... "</b>" near its end.
std::string bigText(std::size_t bytes) {
  std::string field = "abc" + kWen + kBar + "xyz" + kBar + "|";
  std::string t;
  t.reserve(bytes + 64);
  while (t.size() + field.size() + 16 < bytes) t += field;
  t += "<b>end</b>";
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::size_t sink = 0;

  int rows = 0;
  const std::string page = listingPage(1 << 20, rows);
  std::size_t matched = 0;
  const double scrapeMs = bestMs(reps, [&] {
    Regex re;
    re.compile(rowPattern());
    const auto& ms = re.findAll(page);
    matched = ms.size();
    for (const auto& m : ms) {
      sink += textBetween(m.text, kName, "<").size() + textToInt(textBetween(m.text, ">" + kPid, "<")) +
              textBetween(m.text, kSize, "<").size() + textBetween(m.text, kDate, "<").size() +
              textBetween(m.text, kCount, "<").size();
    }
  });
  std::printf("listing scrape: %.2f MB page, %d rows, %zu matched, %.2f ms (compile, match all, cut 5 fields)\n",
              page.size() / 1048576.0, rows, matched, scrapeMs);

  std::printf("\n%8s %14s %12s %14s %12s %14s\n", "size MB", "splitText ms", "split MB/s", "textBetween ms",
              "find ms", "replaceText ms");
  for (int mb : {1, 2, 4, 8, 10}) {
    const std::string t = bigText(static_cast<std::size_t>(mb) << 20);
    std::size_t pieces = 0;
    const double splitMs = bestMs(reps, [&] { pieces = splitText(t, "|").size(); });
    const double betweenMs = bestMs(reps, [&] { sink += textBetween(t, "<b>", "</b>").size(); });
    const double findMs = bestMs(reps, [&] { sink += static_cast<std::size_t>(find(t, "</b>")); });
    const double replaceMs = bestMs(reps, [&] { sink += replaceText(t, "|", "||").size(); });
    std::printf("%8d %14.2f %12.0f %14.2f %12.2f %14.2f   (%zu pieces)\n", mb, splitMs, mb / (splitMs / 1000.0),
                betweenMs, findMs, replaceMs, pieces);
  }
  std::printf("\n(checksum %zu)\n", sink);
  return 0;
}
