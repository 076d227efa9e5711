#include "account/login.h"

#include "log/log.h"
#include "net/form.h"
#include "net/text.h"

namespace tarnwick::account {
namespace {

std::string withoutCrLf(const std::string& reply) { return net::replaceText(reply, "\r\n", ""); }

}  // namespace

Request loginRequest(const std::string& mainHost, const std::string& account,
                     const std::string& password) {
  net::FormBuilder body;
  body.add("zh", account, net::Charset::Utf8).add("mm", password, net::Charset::Gbk);
  return {mainHost + "/csx.php", body.str()};
}

std::optional<LoginReply> judgeLoginReply(std::string reply) {
  reply = withoutCrLf(reply);
  net::Pieces pieces = reply.size() < 4 ? net::Pieces{} : net::splitText(reply, "x");
  if (pieces.size() < 3) {
    log::warning(log::kAccount, "login refused (a reply of " + std::to_string(reply.size()) + " bytes)");
    return std::nullopt;
  }
  LoginReply r{pieces[0], pieces[1], pieces[2]};
  if (r.email == net::fromUtf8("暂无设置。")) r.email.clear();
  log::info(log::kAccount, "logged in: member " + net::toUtf8(r.userId) + ", account " + net::toUtf8(r.accountName));
  return r;
}

void applyLogin(app::SessionData& session, const LoginReply& reply, const std::string& typedAccount) {
  session.userId = reply.userId;
  session.loginName = typedAccount;
  session.accountName = reply.accountName;
  session.email = reply.email;
}

std::string welcomeCaption(const std::string& loginName) {
  return net::fromUtf8("欢迎您回来：") + loginName;
}

std::string loginLogMessage(const std::string& loginName) {
  return net::fromUtf8("：") + loginName + net::fromUtf8("成功登录软件！");
}

std::string qqPollUrl(const std::string& mainHost) { return mainHost + "/qdlxx.php"; }

std::string qqSignInPageUrl(const std::string& mainHost) {
  return mainHost + "/QQ/example/oauth/index.php";
}

std::optional<QqSignIn> parseQqPoll(std::string reply) {
  reply = withoutCrLf(reply);
  if (reply.empty()) return std::nullopt;
  net::Pieces pieces = net::splitText(reply, "|");
  if (pieces.size() < 4) return std::nullopt;
  // The reply carries the member's password: neither may reach a log.
  log::addSecret(pieces[3]);
  log::addSecret(reply);
  return QqSignIn{pieces[0], pieces[1], pieces[2], pieces[3]};
}

void applyQqSignIn(app::SessionData& session, const QqSignIn& signIn) {
  session.accountName = signIn.accountName;
  session.loginName = signIn.loginName;
  session.userId = signIn.userId;
  session.qqPassword = signIn.password;
}

}  // namespace tarnwick::account
