#pragma once
// The remembered login's password in the desktop's Secret Service keyring,
// through QtKeychain (service keyring::kService, key = the account).
// Every call starts a keychain job and returns at once; `done` runs on the GUI
// thread when the keyring has answered, so no caller ever waits for it.
#include <QString>
#include <functional>
#include <optional>
#include <string>

namespace tarnwick::app {

// The stored password (GBK), or nullopt when there is none or no keyring
// answered (error says why; empty when the entry is simply missing).
void readKeyringPassword(const std::string& account,
                         std::function<void(std::optional<std::string> password, QString error)> done);
// stored = the keyring holds the password now; otherwise error says why.
void writeKeyringPassword(const std::string& account, const std::string& password,
                          std::function<void(bool stored, QString error)> done);
// Removes the entry; a missing entry or keyring is quietly nothing.
void deleteKeyringPassword(const std::string& account);

}  // namespace tarnwick::app
