#include "cli/session_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/exit_codes.h"
#include "cli/keyring.h"
#include "net/text.h"

namespace tarnwick::cli {
namespace {

using nlohmann::json;

[[noreturn]] void fileError(const std::string& what, const std::filesystem::path& path, int err) {
  throw CliError(kExitLocalFile, what + " " + path.string() + ": " + std::strerror(err));
}

json cookieToJson(const net::Cookie& c) {
  return {{"domain", c.domain}, {"includeSubdomains", c.includeSubdomains}, {"path", c.path},
          {"secure", c.secure}, {"httpOnly", c.httpOnly}, {"expires", c.expires},
          {"name", c.name}, {"value", c.value}};
}

net::Cookie cookieFromJson(const json& j) {
  net::Cookie c;
  c.domain = j.at("domain").get<std::string>();
  c.includeSubdomains = j.value("includeSubdomains", false);
  c.path = j.value("path", std::string("/"));
  c.secure = j.value("secure", false);
  c.httpOnly = j.value("httpOnly", false);
  c.expires = j.value("expires", std::int64_t{0});
  c.name = j.at("name").get<std::string>();
  c.value = j.at("value").get<std::string>();
  return c;
}

json cookiesToJson(const std::vector<net::Cookie>& cookies) {
  json list = json::array();
  for (const auto& c : cookies) list.push_back(cookieToJson(c));
  return list;
}

std::vector<net::Cookie> cookiesFromJson(const json& list) {
  std::vector<net::Cookie> out;
  for (const auto& j : list) out.push_back(cookieFromJson(j));
  return out;
}

// Writes bytes to path whole: a new file of mode 0600 beside it, flushed,
// then renamed over path, so a reader sees the old file or the new one.
void writeWhole(const std::filesystem::path& path, const std::string& bytes) {
  const std::filesystem::path dir = path.parent_path();
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) fileError("cannot create the folder", dir, ec.value());
  ::chmod(dir.c_str(), 0700);
  std::string tmp = (dir / (path.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(tmp.data());  // mode 0600
  if (fd < 0) fileError("cannot write", path, errno);
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  int err = 0;
  while (left > 0 && !err) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) err = n < 0 ? errno : EIO;
    else p += n, left -= static_cast<std::size_t>(n);
  }
  if (!err && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && !err) err = errno;
  if (!err && ::rename(tmp.c_str(), path.c_str()) != 0) err = errno;
  if (err) {
    ::unlink(tmp.c_str());
    fileError("cannot write", path, err);
  }
}

}  // namespace

std::filesystem::path sessionFilePath() {
  const char* state = std::getenv("XDG_STATE_HOME");
  std::filesystem::path base;
  if (state && *state == '/') {
    base = state;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) throw CliError(kExitLocalFile, "cannot find the home folder (HOME is not set)");
    base = std::filesystem::path(home) / ".local" / "state";
  }
  return base / "tarnwick" / "session.json";
}

std::string cookiesToText(const std::vector<net::Cookie>& cookies) { return cookiesToJson(cookies).dump(); }

std::optional<std::vector<net::Cookie>> cookiesFromText(const std::string& text) {
  try {
    return cookiesFromJson(json::parse(text));
  } catch (const json::exception&) {
    return std::nullopt;
  }
}

namespace {

// The session file alone (cookies not yet fetched from the keyring).
std::optional<StoredSession> readSessionFile() {
  const std::filesystem::path path = sessionFilePath();
  std::error_code ec;
  if (!std::filesystem::exists(path, ec) && !ec) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) fileError("cannot read", path, errno ? errno : EIO);
  std::stringstream bytes;
  bytes << in.rdbuf();
  StoredSession s;
  try {
    const json j = json::parse(bytes.str());
    s.loginName = net::fromUtf8(j.at("loginName").get<std::string>());
    s.accountName = net::fromUtf8(j.at("accountName").get<std::string>());
    s.userId = j.at("userId").get<std::string>();
    s.email = net::fromUtf8(j.value("email", std::string()));
    s.mainHost = j.value("mainHost", std::string());
    s.inKeyring = j.value("secret", std::string()) == "keyring";
    if (!s.inKeyring) s.cookies = cookiesFromJson(j.at("cookies"));
  } catch (const json::exception&) {
    throw CliError(kExitLocalFile, "the session file " + path.string() + " is damaged; log in again");
  }
  return s;
}

}  // namespace

std::optional<StoredSession> loadSession(bool withCookies) {
  std::optional<StoredSession> s = readSessionFile();
  if (s && s->inKeyring && withCookies) {
    const auto secret = keyring::lookup(net::toUtf8(s->accountName));
    const auto cookies = secret ? cookiesFromText(*secret) : std::nullopt;
    if (!cookies)
      throw CliError(kExitRefused,
                     "the keyring does not give this session (is it running and unlocked?); log in again");
    s->cookies = *cookies;
  }
  return s;
}

void saveSession(StoredSession& s) {
  // The session this one replaces leaves the keyring too (another account's
  // entry would stay there otherwise).
  try {
    if (auto old = readSessionFile(); old && old->inKeyring && old->accountName != s.accountName)
      keyring::remove(net::toUtf8(old->accountName));
  } catch (const CliError&) {
  }
  json j = {{"loginName", net::toUtf8(s.loginName)}, {"accountName", net::toUtf8(s.accountName)},
            {"userId", s.userId}, {"email", net::toUtf8(s.email)}, {"mainHost", s.mainHost}};
  s.inKeyring = keyring::store(net::toUtf8(s.accountName), cookiesToText(s.cookies));
  if (s.inKeyring) j["secret"] = "keyring";
  else j["cookies"] = cookiesToJson(s.cookies);
  writeWhole(sessionFilePath(), j.dump(2, ' ', false, json::error_handler_t::replace) + "\n");
}

bool removeSession() {
  const std::filesystem::path path = sessionFilePath();
  std::optional<StoredSession> old;
  try {
    old = readSessionFile();
  } catch (const CliError&) {
    // A damaged file goes anyway.
  }
  if (old && old->inKeyring) keyring::remove(net::toUtf8(old->accountName));
  std::error_code ec;
  const bool removed = std::filesystem::remove(path, ec);
  if (ec) fileError("cannot delete", path, ec.value());
  return removed || old.has_value();
}

}  // namespace tarnwick::cli
