// The log files written during a login, a password change, a QQ sign-in, an
// access-password link and an upload, against a service of the test's own
// (the password change would disturb the tests sharing one), hold none of
// the secrets involved in any form they take on the wire, while they do hold
// the requests themselves.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "../cli/cli_runner.h"
#include "account/login.h"
#include "app/names/main_window.h"
#include "log/log_file.h"
#include "net/cookies.h"
#include "net/form.h"
#include "net/hosts.h"
#include "net/http.h"
#include "net/text.h"
#include "service_process.h"
#include "settings/account_operations.h"
#include "settings/form_runner.h"

namespace fs = std::filesystem;
using namespace tarnwick;

namespace {

std::string readAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Every form a text takes on the way to the service or back: UTF-8 and GBK,
// each as it is and percent-encoded (upper and lower hex, blank as "+").
std::vector<std::string> wireForms(const std::string& utf8) {
  std::vector<std::string> forms;
  for (const std::string& bytes : {utf8, net::fromUtf8(utf8)}) {
    const std::string upper = net::percentEncode(bytes);
    std::string lower = upper;
    for (std::size_t i = 0; i + 2 < lower.size(); ++i)
      if (lower[i] == '%') lower.replace(i + 1, 2, net::toLower(lower.substr(i + 1, 2)));
    for (const std::string& f : {bytes, upper, lower, net::replaceText(upper, "%20", "+")}) forms.push_back(f);
  }
  return forms;
}

const settings::FormDef& passwordForm() {
  for (const auto& bound : settings::accountForms())
    if (bound.form->name == "password") return *bound.form;
  throw std::runtime_error("no password form");
}

}  // namespace

TEST(LogSecrets, NoSecretReachesTheLogs) {
  char tmpl[] = "/tmp/tarnwick-log-secrets.XXXXXX";
  const fs::path dir = ::mkdtemp(tmpl);
  test::ServiceProcess service((dir / "service").string());
  ASSERT_TRUE(service.start()) << service.error();
  // The one-address variable the README's demo uses.
  for (const char* name :
       {"TARNWICK_MAIN_HOST", "TARNWICK_DIRECT_LINK_HOST", "TARNWICK_STORAGE_HOST", "TARNWICK_WEB_UPLOAD_HOST"})
    ::unsetenv(name);
  ::setenv("TARNWICK_SERVICE", service.httpUrl().c_str(), 1);
  ::setenv("TARNWICK_FTP_HOST", service.ftpHost().c_str(), 1);
  ::setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
  net::reloadHosts();
  const std::string host = net::hosts().mainHost;
  ASSERT_EQ(host, service.httpUrl());
  const fs::path logFile = log::installFileLog("tarnwick", log::Level::Debug);

  const std::string oldPassword = "alice123";
  const std::string newPassword = "Nw密码 9+&x";  // blank, "+", "&" and CJK: every encoding differs
  // Login (in process, as the windows do it).
  const account::Request login = account::loginRequest(host, "alice", oldPassword);
  ASSERT_TRUE(account::judgeLoginReply(net::httpRequestText(login.url, "POST", "", "", login.body)));
  // Password change through the settings page's form row.
  std::string changeReply;
  settings::FormHooks hooks;
  hooks.post = [&](const std::string& url, const std::string& body, settings::FormAnswer answered) {
    changeReply = net::httpRequestText(url, "POST", "", "", body);
    answered(changeReply);
    return true;
  };
  const std::string gbkNew = net::fromUtf8(newPassword);
  settings::FormValues values{{app::names::main::kNewPasswordBox.name, gbkNew},
                              {app::names::main::kPasswordRepeatBox.name, gbkNew}};
  ASSERT_TRUE(settings::submitForm(passwordForm(), values, {host, "alice"}, hooks).sent);
  ASSERT_EQ(changeReply, "2");
  // A file link with the member's access password in its query.
  net::httpRequestText(net::hosts().directLinkHost + "/yunxz1.php?pid=1&szmm=alice8");
  // QQ sign-in: the page, its button, then the poll whose reply carries a password.
  net::httpRequestText(account::qqSignInPageUrl(host));
  net::httpRequestText(account::qqSignInPageUrl(host), "POST", "", "", net::FormBuilder().add("ok", "1").str());
  const std::string qqReply = net::httpRequestText(account::qqPollUrl(host));
  const auto qq = account::parseQqPoll(qqReply);
  ASSERT_TRUE(qq) << qqReply;

  // The command line: login with the new password, then an upload, at debug level.
  CliRunner cli(TARNWICK_CLI_PATH);
  cli.setEnv("XDG_STATE_HOME", (dir / "state").string());
  const CliRun cliLogin = cli.run({"--log-level", "debug", "login", "alice", "--password-stdin"}, newPassword + "\n");
  ASSERT_EQ(cliLogin.exitCode, 0) << cliLogin.err;
  std::ofstream(dir / "upload.txt") << "the log test's upload\n";
  const CliRun put = cli.run({"--log-level", "debug", "put", (dir / "upload.txt").string()});
  ASSERT_EQ(put.exitCode, 0) << put.err;
  const auto session = nlohmann::json::parse(readAll(dir / "state" / "tarnwick" / "session.json"));

  std::vector<std::string> secrets = {oldPassword, newPassword, "alice8", net::toUtf8(qq->password),
                                      net::toUtf8(qqReply)};
  for (const net::Cookie& c : net::allCookies()) secrets.push_back(c.value);
  for (const auto& c : session["cookies"]) secrets.push_back(c["value"].get<std::string>());

  std::string logs;
  for (const auto& entry : fs::directory_iterator(logFile.parent_path())) logs += readAll(entry.path());
  // The logs were written: every step left its requests there.
  for (const char* request : {"/csx.php", "/post/xgmm.php", "/yunxz1.php", "/qdlxx.php", "ftp> STOR", "ftp> PASS ***",
                              "completed: ftp://", "tarnwick.cli", "info tarnwick.account: logged in: member"})
    EXPECT_NE(logs.find(request), std::string::npos) << "no " << request << " in the logs:\n" << logs;
  for (const std::string& secret : secrets) {
    ASSERT_GE(secret.size(), 3u);
    for (const std::string& form : wireForms(secret))
      EXPECT_EQ(logs.find(form), std::string::npos) << "the logs hold '" << form << "' (of " << secret << ")";
  }
  log::setHandler(nullptr, log::Level::Error);
  service.stop();
  fs::remove_all(dir);
}
