#include "app/local_settings.h"

#include <system_error>

#include "app/ini.h"
#include "net/text.h"

namespace tarnwick::app {

namespace {
// Section, key and separator in GBK, converted once.
const std::string& skinSection() { static const std::string s = net::fromUtf8("皮肤"); return s; }
const std::string& credSection() { static const std::string s = net::fromUtf8("帐号密码"); return s; }
const std::string& storeKey() { static const std::string s = net::fromUtf8("存储"); return s; }
const std::string& separator() { static const std::string s = net::fromUtf8("切割"); return s; }
}  // namespace

std::filesystem::path skinSettingsFile(const std::filesystem::path& documents) {
  return documents / std::filesystem::path(u8"配置.ini");
}

std::filesystem::path credentialsFile(const std::filesystem::path& documents) {
  return documents / std::filesystem::path(u8"配置2.iniat");
}

std::string readSkinSetting(const std::filesystem::path& documents) {
  return readIniValue(skinSettingsFile(documents), skinSection(), storeKey());
}

void writeSkinSetting(const std::filesystem::path& documents, int skin) {
  writeIniValue(skinSettingsFile(documents), skinSection(), storeKey(), std::to_string(skin));
}

int skinIndexForSetting(const std::string& value) {
  const std::int64_t n = value.empty() ? 1 : net::textToInt(value);
  return n >= 1 && n <= 33 ? static_cast<int>(n - 1) : -1;
}

RememberedLogin parseRememberedLogin(const std::string& stored) {
  RememberedLogin r;
  if (stored.empty()) return r;
  r.remember = true;
  const net::Pieces pieces = net::splitText(stored, separator());
  if (pieces.size() == 2) {
    r.filled = true;
    r.account = pieces[0];
    r.password = pieces[1];
  }
  return r;
}

RememberedLogin readRememberedLogin(const std::filesystem::path& documents) {
  return parseRememberedLogin(readIniValue(credentialsFile(documents), credSection(), storeKey()));
}

void rememberLoginAttempt(const std::filesystem::path& documents, bool remember, const std::string& account,
                          const std::string& password) {
  if (remember) {
    writeIniValue(credentialsFile(documents), credSection(), storeKey(), account + separator() + password,
                  IniAccess::OwnerOnly);
  } else {
    std::error_code ec;
    std::filesystem::remove(credentialsFile(documents), ec);
  }
}

}  // namespace tarnwick::app
