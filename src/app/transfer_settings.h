#pragma once
// The transfer settings of the windows, kept in 配置.ini under [传输]: how
// many uploads and downloads run at once, and the speed limit of each
// direction in KB/s (0 = no limit). A missing file or key, or a value that is
// not a whole number in its range, reads as the default.
#include <cstdint>
#include <filesystem>

namespace tarnwick::app {

struct TransferSettings {
  static constexpr int kMinActive = 1;
  static constexpr int kMaxActive = 10;
  static constexpr std::int64_t kMaxRateKb = 1 << 20;  // 1 GiB/s

  int uploads = 2;
  int downloads = 3;
  std::int64_t uploadRateKb = 0;
  std::int64_t downloadRateKb = 0;
  bool operator==(const TransferSettings&) const = default;
};

TransferSettings readTransferSettings(const std::filesystem::path& documents);
// Writes every value; false when the file could not be written.
bool writeTransferSettings(const std::filesystem::path& documents, const TransferSettings& settings);

}  // namespace tarnwick::app
