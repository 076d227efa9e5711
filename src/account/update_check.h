#pragma once
// The update check ("/ge.txt": version "|" download address) and the session
// watchdog's judgement of "/sc/index1.php".

#include <string>

namespace tarnwick::account {

std::string updateUrl(const std::string& mainHost);

enum class UpdateVerdict {
  UpToDate,    // the first piece is this client's version
  NewVersion,  // another version and an address: ask, then end the program
  Unknown,     // fewer than two pieces (no file, no network): keep running
};
struct UpdateCheck {
  UpdateVerdict verdict;
  // NewVersion: where the new version is; "" when the reply named no http or
  // https address (nothing is handed to the browser then).
  std::string address;
};
// True for an "http://" or "https://" address (scheme in any case) with
// something behind the scheme.
bool isWebAddress(const std::string& address);
UpdateCheck judgeUpdateReply(const std::string& reply, const std::string& ownVersion);

// "" when nobody is logged in (no request then).
std::string watchdogUrl(const std::string& mainHost, const std::string& accountName);
// True for the page the service returns when the account was logged in
// elsewhere: textBetween(page, "sxwj.php?zh=", "\"") is "CTYPE html PUBLIC ".
bool loggedInElsewhere(const std::string& page);

}  // namespace tarnwick::account
