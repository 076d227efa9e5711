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
  } else if (pieces.size() == 1 && stored.size() == pieces[0].size() + separator().size()) {
    // account + "切割": the password is empty or kept in the keyring.
    r.filled = true;
    r.passwordInKeyring = true;
    r.account = pieces[0];
  }
  return r;
}

RememberedLogin readRememberedLogin(const std::filesystem::path& documents) {
  return parseRememberedLogin(readIniValue(credentialsFile(documents), credSection(), storeKey()));
}

void rememberLoginAttempt(const std::filesystem::path& documents, bool remember, const std::string& account,
                          const std::string& password, PasswordPlace place) {
  if (remember) {
    const std::string kept = place == PasswordPlace::Keyring ? std::string() : password;
    writeIniValue(credentialsFile(documents), credSection(), storeKey(), account + separator() + kept,
                  IniAccess::OwnerOnly);
  } else {
    std::error_code ec;
    std::filesystem::remove(credentialsFile(documents), ec);
  }
}

KeyringPlan planKeyring(const RememberedLogin& before, bool ticked, const std::string& account,
                        const std::string& password) {
  KeyringPlan plan;
  // The keyring keeps text; a byte that does not survive GBK -> UTF-8 -> GBK
  // would change the password, so such a password stays in the file.
  plan.offerPassword = ticked && net::fromUtf8(net::toUtf8(password)) == password;
  if (before.filled && (!ticked || before.account != account)) plan.forget = before.account;
  return plan;
}

}  // namespace tarnwick::app
