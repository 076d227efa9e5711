#pragma once
// Login by account and password, and the QQ sign-in poll: requests and the
// judgement of the service's replies. Texts are GBK.

#include <optional>
#include <string>

#include "app/session.h"

namespace tarnwick::account {

struct Request {
  std::string url;
  std::string body;  // "" for a GET
};

// POST MainHost + "/csx.php" with zh (account as UTF-8) and mm (the password
// as typed, GBK), both percent-encoded.
Request loginRequest(const std::string& mainHost, const std::string& account,
                     const std::string& password);

// A successful login reply: "userId" x "accountName" x "e-mail".
struct LoginReply {
  std::string userId;
  std::string accountName;
  std::string email;  // "" when the service reports "暂无设置。"
};

// Every "\r\n" removed; shorter than 4 bytes, or fewer than 3 pieces at "x",
// is a failed login. An account name holding an "x" is cut there, as the
// service's reply format leaves no other reading.
std::optional<LoginReply> judgeLoginReply(std::string reply);

// Fills the member's fields in the order userId, loginName (the typed
// account), accountName, email.
void applyLogin(app::SessionData& session, const LoginReply& reply, const std::string& typedAccount);

// "欢迎您回来：" + loginName, and the log message "：" + loginName + "成功登录软件！".
std::string welcomeCaption(const std::string& loginName);
std::string loginLogMessage(const std::string& loginName);

// QQ sign-in: GET MainHost + "/qdlxx.php"; the reply (every "\r\n" removed)
// holds accountName|loginName|userId|password once the member signed in on
// the web page; anything shorter means "not yet".
std::string qqPollUrl(const std::string& mainHost);
std::string qqSignInPageUrl(const std::string& mainHost);

struct QqSignIn {
  std::string accountName;
  std::string loginName;
  std::string userId;
  std::string password;
};
std::optional<QqSignIn> parseQqPoll(std::string reply);
void applyQqSignIn(app::SessionData& session, const QqSignIn& signIn);

}  // namespace tarnwick::account
