#pragma once
// The two local settings files in the user's documents folder: the skin
// number (配置.ini, [皮肤] 存储) and the remembered login (配置2.iniat,
// [帐号密码] 存储 = account + "切割" + password, GBK; the password part is
// empty when the desktop keyring keeps the password). Missing files read as
// empty; failed writes and deletions are ignored.
#include <filesystem>
#include <optional>
#include <string>

namespace tarnwick::app {

std::filesystem::path skinSettingsFile(const std::filesystem::path& documents);
std::filesystem::path credentialsFile(const std::filesystem::path& documents);

// The stored skin number as text ("" when none).
std::string readSkinSetting(const std::filesystem::path& documents);
void writeSkinSetting(const std::filesystem::path& documents, int skin);
// The selector index for a stored value: "" counts as "1"; the number minus
// one, or -1 when it is outside 1..33 (no entry selected).
int skinIndexForSetting(const std::string& value);

struct RememberedLogin {
  bool remember = false;           // a value is stored: tick the box
  bool filled = false;             // it names the account (and the password, see below)
  bool passwordInKeyring = false;  // stored as account + "切割" alone: ask the keyring for the password
  std::string account;
  std::string password;
};
RememberedLogin readRememberedLogin(const std::filesystem::path& documents);
RememberedLogin parseRememberedLogin(const std::string& stored);

// Where a ticked login attempt keeps its password.
enum class PasswordPlace { File, Keyring };

// At each login attempt: remember = the box is ticked. Ticked: stores the
// attempt's account, and its password unless the keyring holds it (the file
// is its owner's only and replaced whole); unticked: deletes the file.
void rememberLoginAttempt(const std::filesystem::path& documents, bool remember, const std::string& account,
                          const std::string& password, PasswordPlace place = PasswordPlace::File);

// What a login attempt asks of the keyring, given the remembered login
// before it. Ticked: the password is offered to the keyring when the
// keyring's text form (UTF-8) carries it unchanged; when the keyring refuses
// it, the file keeps it as before. The entry to forget is the earlier
// remembered account's, when the box is unticked or another account is
// remembered now; where nothing was remembered, the keyring is not asked.
struct KeyringPlan {
  bool offerPassword = false;
  std::optional<std::string> forget;  // account key, GBK
};
KeyringPlan planKeyring(const RememberedLogin& before, bool ticked, const std::string& account,
                        const std::string& password);

}  // namespace tarnwick::app
