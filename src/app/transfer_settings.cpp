#include "app/transfer_settings.h"

#include <string>
#include <string_view>

#include "app/ini.h"
#include "app/local_settings.h"
#include "net/text.h"

namespace tarnwick::app {

namespace {

std::string gbk(const char* utf8) { return net::fromUtf8(utf8); }

// A whole decimal number within [low, high], else fallback. Digits only: a
// sign, blanks or a fraction mean the file was not written by us.
std::int64_t wholeIn(std::string_view text, std::int64_t low, std::int64_t high, std::int64_t fallback) {
  if (text.empty() || text.size() > 10) return fallback;
  std::int64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return fallback;
    n = n * 10 + (c - '0');
  }
  return n >= low && n <= high ? n : fallback;
}

std::int64_t readValue(const std::filesystem::path& file, const char* key, std::int64_t low, std::int64_t high,
                       std::int64_t fallback) {
  return wholeIn(readIniValue(file, gbk("传输"), gbk(key)), low, high, fallback);
}

}  // namespace

TransferSettings readTransferSettings(const std::filesystem::path& documents) {
  const std::filesystem::path file = skinSettingsFile(documents);
  TransferSettings s;
  using T = TransferSettings;
  s.uploads = static_cast<int>(readValue(file, "同时上传数", T::kMinActive, T::kMaxActive, s.uploads));
  s.downloads = static_cast<int>(readValue(file, "同时下载数", T::kMinActive, T::kMaxActive, s.downloads));
  s.uploadRateKb = readValue(file, "上传限速", 0, T::kMaxRateKb, s.uploadRateKb);
  s.downloadRateKb = readValue(file, "下载限速", 0, T::kMaxRateKb, s.downloadRateKb);
  return s;
}

bool writeTransferSettings(const std::filesystem::path& documents, const TransferSettings& settings) {
  const std::filesystem::path file = skinSettingsFile(documents);
  const std::string section = gbk("传输");
  const TransferSettings before = readTransferSettings(documents);
  struct Value {
    const char* key;
    std::int64_t now, before;
  };
  const Value values[] = {
      {"同时上传数", settings.uploads, before.uploads},
      {"同时下载数", settings.downloads, before.downloads},
      {"上传限速", settings.uploadRateKb, before.uploadRateKb},
      {"下载限速", settings.downloadRateKb, before.downloadRateKb},
  };
  // Only the keys that change are rewritten (each write replaces the file);
  // a key missing from the file is written even when it equals its default.
  bool ok = true;
  for (const Value& v : values)
    if (v.now != v.before || readIniValue(file, section, gbk(v.key)).empty())
      ok = writeIniValue(file, section, gbk(v.key), std::to_string(v.now)) && ok;
  return ok;
}

}  // namespace tarnwick::app
