#pragma once
// The command line's login session: who is logged in and the service's
// session cookie, kept between runs in $XDG_STATE_HOME/tarnwick/session.json
// (~/.local/state/tarnwick/ when XDG_STATE_HOME is unset), mode 0600,
// replaced whole (temporary file and rename). When a Secret Service keyring
// answers, the cookie goes there and the file names the keyring instead.
//
// Texts are GBK inside the program and UTF-8 in the file.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "net/cookies.h"

namespace tarnwick::cli {

struct StoredSession {
  std::string loginName;    // the account as typed at login (GBK)
  std::string accountName;  // the service's account name, sent as zh / pid (GBK)
  std::string userId;       // numeric member id
  std::string email;        // "" when none (GBK)
  std::string mainHost;     // the service that issued the cookies
  std::vector<net::Cookie> cookies;
  bool inKeyring = false;   // where the cookies were found or put
};

std::filesystem::path sessionFilePath();

// The stored session, or nullopt when nobody is logged in. Throws CliError
// (local file) when the file cannot be read or is damaged, and (refused)
// when its cookies are wanted and the keyring no longer holds them.
std::optional<StoredSession> loadSession(bool withCookies = true);
// Writes the session (cookies into the keyring when one answers), replacing
// the one before; sets inKeyring. Throws CliError (local file) when the file cannot be written.
void saveSession(StoredSession& session);
// Deletes the file and the keyring entry; false when there was no session.
bool removeSession();

// The cookies as the text kept in the keyring, and back.
std::string cookiesToText(const std::vector<net::Cookie>& cookies);
std::optional<std::vector<net::Cookie>> cookiesFromText(const std::string& text);

}  // namespace tarnwick::cli
