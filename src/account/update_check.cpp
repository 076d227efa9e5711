#include "account/update_check.h"

#include "net/form.h"
#include "net/text.h"

namespace tarnwick::account {

bool isWebAddress(const std::string& address) {
  std::string scheme;
  const std::size_t colon = address.find("://");
  if (colon == std::string::npos || colon + 3 >= address.size()) return false;
  for (char c : address.substr(0, colon)) scheme += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return scheme == "http" || scheme == "https";
}

std::string updateUrl(const std::string& mainHost) { return mainHost + "/ge.txt"; }

UpdateCheck judgeUpdateReply(const std::string& reply, const std::string& ownVersion) {
  net::Pieces pieces = net::splitText(reply, "|");
  if (!pieces.empty() && pieces[0] == ownVersion) return {UpdateVerdict::UpToDate, {}};
  if (pieces.size() < 2) return {UpdateVerdict::Unknown, {}};
  // The file usually ends with a line break; it is not part of the address.
  std::string address = net::replaceText(net::replaceText(pieces[1], "\r", ""), "\n", "");
  address = net::trim(address);
  if (!isWebAddress(address)) address.clear();
  return {UpdateVerdict::NewVersion, address};
}

std::string watchdogUrl(const std::string& mainHost, const std::string& accountName) {
  if (accountName.empty()) return {};
  return net::withQuery(mainHost + "/sc/index1.php", net::FormBuilder().add("zh", accountName));
}

bool loggedInElsewhere(const std::string& page) {
  return net::textBetween(page, "sxwj.php?zh=", "\"") == "CTYPE html PUBLIC ";
}

}  // namespace tarnwick::account
