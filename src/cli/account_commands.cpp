// login, logout, whoami and the password prompt.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <iostream>

#include "account/login.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/service_calls.h"
#include "net/cookies.h"
#include "net/hosts.h"
#include "net/http.h"
#include "net/text.h"

namespace tarnwick::cli {
namespace {

// The terminal's settings while echo is off, put back by an interrupt too.
int g_ttyFd = -1;
termios g_ttySaved{};

void restoreTerminal() {
  if (g_ttyFd >= 0) tcsetattr(g_ttyFd, TCSAFLUSH, &g_ttySaved);
}

extern "C" void onInterruptDuringPrompt(int sig) {
  restoreTerminal();
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

std::string withoutLineEnd(std::string line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

// Asks on the controlling terminal with echo off.
std::string promptPassword(const std::string& account) {
  const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) throw CliError(kExitUsage, "no terminal to ask for the password on; use --password-stdin");
  termios quiet{};
  if (tcgetattr(fd, &g_ttySaved) != 0) {
    ::close(fd);
    throw CliError(kExitUsage, "cannot switch off the echo of this terminal; use --password-stdin");
  }
  quiet = g_ttySaved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  g_ttyFd = fd;
  auto oldInt = std::signal(SIGINT, onInterruptDuringPrompt);
  auto oldTerm = std::signal(SIGTERM, onInterruptDuringPrompt);
  tcsetattr(fd, TCSAFLUSH, &quiet);
  const std::string prompt = "Password for " + account + ": ";
  (void)!::write(fd, prompt.data(), prompt.size());
  std::string line;
  char c;
  while (::read(fd, &c, 1) == 1 && c != '\n') line.push_back(c);
  restoreTerminal();
  (void)!::write(fd, "\n", 1);
  g_ttyFd = -1;
  std::signal(SIGINT, oldInt);
  std::signal(SIGTERM, oldTerm);
  ::close(fd);
  return withoutLineEnd(line);
}

std::string readPassword(bool fromStdin, const std::string& account) {
  if (!fromStdin) return promptPassword(account);
  std::string line;
  if (!std::getline(std::cin, line) && line.empty())
    throw CliError(kExitUsage, "no password on standard input");
  return withoutLineEnd(line);
}

nlohmann::json whoJson(const StoredSession& s) {
  return {{"account", utf8(s.accountName)}, {"loginName", utf8(s.loginName)}, {"userId", s.userId},
          {"email", utf8(s.email)}, {"host", s.mainHost}, {"keyring", s.inKeyring}};
}

}  // namespace

StoredSession requireSession() {
  std::optional<StoredSession> s = loadSession();
  if (!s) throw CliError(kExitRefused, "not logged in; run: tarnwick-cli login ACCOUNT");
  const std::string& host = net::hosts().mainHost;
  // Cookies belong to a host name whatever the port: another name cannot use them.
  if (!s->mainHost.empty() && net::urlHost(s->mainHost) != net::urlHost(host))
    throw CliError(kExitRefused, "logged in at " + s->mainHost + ", not at " + host + "; log in again");
  for (const auto& c : s->cookies) net::setCookie(c);
  return *s;
}

int login(const Output& out, const std::string& accountUtf8, bool passwordFromStdin) {
  if (accountUtf8.empty()) throw CliError(kExitUsage, "the account name is empty");
  const std::string account = net::fromUtf8(accountUtf8);
  const std::string password = net::fromUtf8(readPassword(passwordFromStdin, accountUtf8));
  const std::string host = net::hosts().mainHost;
  const account::Request request = account::loginRequest(host, account, password);
  net::clearCookies();
  const auto reply = account::judgeLoginReply(postForm(request.url, request.body));
  if (!reply) throw CliError(kExitRefused, "login failed: wrong account or password");

  StoredSession session;
  session.loginName = account;
  session.accountName = reply->accountName;
  session.userId = reply->userId;
  session.email = reply->email;
  session.mainHost = host;
  session.cookies = net::allCookies();
  saveSession(session);
  out.result(whoJson(session), "logged in as " + utf8(session.accountName) + " (id " + session.userId + ")\n");
  return kExitOk;
}

int logout(const Output& out) {
  const bool was = removeSession();
  out.result({{"loggedOut", was}}, was ? "logged out\n" : "not logged in\n");
  return kExitOk;
}

int whoami(const Output& out) {
  const std::optional<StoredSession> s = loadSession(false);
  if (!s) throw CliError(kExitRefused, "not logged in; run: tarnwick-cli login ACCOUNT");
  std::string line = plainName(utf8(s->accountName)) + "\tid " + s->userId;
  if (!s->email.empty()) line += "\t" + plainName(utf8(s->email));
  out.result(whoJson(*s), line + "\t" + s->mainHost + "\n");
  return kExitOk;
}

}  // namespace tarnwick::cli
