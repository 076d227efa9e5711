#include "transfer/download_plan.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "net/form.h"

namespace tarnwick::transfer {

std::string addressPageUrl(std::string_view mainHost, std::string_view pid, std::string_view accessPassword) {
  return net::withQuery(std::string(mainHost) + "/ym.php",
                        net::FormBuilder().add("pid", pid).add("srmm", accessPassword));
}

std::string storageAddress(std::string_view page, std::string_view storageHost) {
  constexpr std::string_view marker = "bsmzdyd";
  const std::size_t at = page.find(marker);
  if (at == std::string_view::npos) return {};
  const std::size_t from = at + marker.size();
  const std::size_t end = page.find('<', from);
  if (end == std::string_view::npos || end == from) return {};
  std::string url(storageHost);
  url += "/up/";
  url += page.substr(from, end - from);
  return url;
}

std::string fitFileName(std::string_view name, std::size_t maxBytes) {
  if (name.size() <= maxBytes) return std::string(name);
  // The last ".ext" stays when it is short and not the whole name.
  const std::size_t dot = name.rfind('.');
  const bool keepExtension = dot != std::string_view::npos && dot > 0 && name.size() - dot <= kMaxExtensionBytes &&
                             name.size() - dot < maxBytes;
  const std::string_view extension = keepExtension ? name.substr(dot) : std::string_view();
  const std::string_view base = keepExtension ? name.substr(0, dot) : name;
  std::size_t keep = std::min(base.size(), maxBytes - extension.size());
  // Never inside a UTF-8 character: back over its continuation bytes.
  while (keep > 0 && keep < base.size() && (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80) --keep;
  // A cut base ends in neither blanks nor dots ("name .ext", "name..ext").
  while (keep > 1 && keep < base.size() && (base[keep - 1] == ' ' || base[keep - 1] == '.')) --keep;
  return std::string(base.substr(0, keep)) + std::string(extension);
}

std::string safeFileName(std::string_view name) {
  const std::size_t cut = name.find_last_of("/\\");
  if (cut != std::string_view::npos) name.remove_prefix(cut + 1);
  std::string out;
  for (char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) continue;
    out.push_back(ch);
  }
  const auto trimmed = [](std::string s) {
    const std::size_t first = s.find_first_not_of(". ");
    s = first == std::string::npos ? std::string() : s.substr(first);
    while (!s.empty() && (s.back() == ' ' || s.back() == '.')) s.pop_back();
    return s;
  };
  // Shortened to what a file system takes; the cut may leave blanks or dots at the end.
  out = trimmed(fitFileName(trimmed(out), kMaxFileNameBytes));
  return out.empty() ? std::string("下载文件") : out;
}

std::string folderWithSeparator(std::string_view folder) {
  std::string out;
  for (char ch : folder) {
    const char c = ch == '\\' ? '/' : ch;
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out.push_back(c);
  }
  if (out.empty() || out.back() != '/') out.push_back('/');
  return out;
}

std::string renamedTarget(const std::string& folder, const std::string& name,
                          const std::function<int()>& drawNumber, const std::function<bool(const std::string&)>& exists,
                          int tries) {
  for (int i = 0; i < tries; ++i) {
    const std::string number = std::to_string(std::clamp(drawNumber(), 10000, 50000));
    // The number goes in front: the rest of the name is shortened so the whole still fits.
    std::string path = folder + number + fitFileName(name, kMaxFileNameBytes - number.size());
    if (!exists(path)) return path;
  }
  return {};
}

std::string progressText(std::int64_t done, std::int64_t total) {
  if (total <= 0 || done <= 0) return "0%";
  if (done >= total) return "100%";
  // done * 100 in 128 bits: sizes from a server's headers reach 18 digits.
  return std::to_string(static_cast<std::int64_t>(static_cast<__int128>(done) * 100 / total)) + "%";
}

std::string speedText(std::int64_t bytes, std::int64_t ms) {
  if (ms <= 0 || bytes <= 0) return "0KB";
  return std::to_string(static_cast<std::int64_t>(static_cast<__int128>(bytes) * 1000 / ms / 1024)) + "KB";
}

std::int64_t sizeFromText(std::string_view text) {
  std::string s(text);
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (end == s.c_str() || v < 0) return -1;
  std::string unit(end);
  for (char& c : unit) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  double factor = 0;
  if (unit == "B" || unit.empty()) factor = 1;
  else if (unit == "KB" || unit == "K") factor = 1024.0;
  else if (unit == "MB" || unit == "M") factor = 1024.0 * 1024;
  else if (unit == "GB" || unit == "G") factor = 1024.0 * 1024 * 1024;
  else return -1;
  // "inf", "nan" and sizes beyond 64 bits are no size (and no undefined cast).
  const double bytes = v * factor;
  if (!(bytes < 9.2e18)) return -1;
  return static_cast<std::int64_t>(bytes);
}

}  // namespace tarnwick::transfer
