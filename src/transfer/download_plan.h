#pragma once
// The download manager's pure half: the address page of a file, the storage
// address cut out of it, a safe local name for a listed file, the rename rule
// for a name that is taken, and the texts of the progress columns.
// Local names and folders are native path bytes (UTF-8 on this system).

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tarnwick::transfer {

// MainHost + "/ym.php?pid=" + pid + "&srmm=" + access password, both values
// percent-encoded (a password with "#" or "&" reaches the service whole).
std::string addressPageUrl(std::string_view mainHost, std::string_view pid, std::string_view accessPassword);

// StorageHost + "/up/" + the text between the first "bsmzdyd" and the next
// "<"; empty when the page has no such marker (or nothing behind it), so that
// a page without an address is a failure and not a request to "/up/".
std::string storageAddress(std::string_view page, std::string_view storageHost);

// The longest file name the file systems take (bytes), and the longest
// extension (".ext", bytes) that a shortened name keeps.
inline constexpr std::size_t kMaxFileNameBytes = 255;
inline constexpr std::size_t kMaxExtensionBytes = 16;

// name when it has at most maxBytes bytes; else shortened to at most maxBytes
// at a UTF-8 character boundary, keeping its last ".ext" when that has at
// most kMaxExtensionBytes bytes (the base is cut, not the extension).
std::string fitFileName(std::string_view name, std::size_t maxBytes);

// The name a listed file may be stored under inside the save folder: the
// part after the last "/" or "\", without control bytes, without leading dots
// and spaces (no "..", no hidden file), at most kMaxFileNameBytes bytes
// (fitFileName); "下载文件" when nothing is left.
std::string safeFileName(std::string_view name);

// The save folder with exactly one trailing "/" (doubled separators and
// backslashes become one "/").
std::string folderWithSeparator(std::string_view folder);

// The rename rule: folder + a number drawn from 10000..50000 + name, the name
// shortened (fitFileName) so that number and name fit kMaxFileNameBytes; drawn
// again while that path exists, at most `tries` times. Empty when every draw
// was taken.
std::string renamedTarget(const std::string& folder, const std::string& name,
                          const std::function<int()>& drawNumber, const std::function<bool(const std::string&)>& exists,
                          int tries = 20);

// "n%" of done against total (total <= 0: "0%"; never above 100).
std::string progressText(std::int64_t done, std::int64_t total);
// "nKB" per second for bytes moved in ms milliseconds.
std::string speedText(std::int64_t bytes, std::int64_t ms);
// Bytes of a size column text such as "1.5KB", "2MB", "3GB" or "512B";
// -1 when it is no size.
std::int64_t sizeFromText(std::string_view text);

}  // namespace tarnwick::transfer
