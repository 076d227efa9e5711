#pragma once
// INI files of the private-profile kind: "[section]\r\nkey=value\r\n".
// Section and key names match without regard to ASCII case; blanks around
// names and values are dropped and one pair of surrounding quotes is removed,
// as the usual readers do. A value that those rules would change is written
// inside double quotes, so every value reads back byte for byte. Texts are bytes
// (GBK); paths are file-system paths.
#include <filesystem>
#include <string>

namespace tarnwick::app {

// Values are read with a buffer of this many bytes (terminator included).
inline constexpr std::size_t kIniValueBuffer = 10240;

// The value of key in section, or "" when the file, section or key is missing.
// Longer values are cut to kIniValueBuffer - 1 bytes.
std::string readIniValue(const std::filesystem::path& file, const std::string& section,
                         const std::string& key);

enum class IniAccess { Default, OwnerOnly };

// Sets key in section, keeping every other line of the file; creates the file
// and section when missing. The new file is written beside the old one and
// renamed over it, so a crash leaves either the old or the new file whole.
// OwnerOnly creates it readable and writable by its owner only (0600).
// False when the file could not be written.
bool writeIniValue(const std::filesystem::path& file, const std::string& section, const std::string& key,
                   const std::string& value, IniAccess access = IniAccess::Default);

// The same edit on the text of a file (for tests and for writeIniValue).
std::string setIniValue(const std::string& content, const std::string& section, const std::string& key,
                        const std::string& value);
std::string iniValue(const std::string& content, const std::string& section, const std::string& key);

}  // namespace tarnwick::app
