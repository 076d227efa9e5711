#pragma once
// The login procedure shared by the login button and the QQ sign-in.

#include <optional>
#include <string>

#include "account/login.h"

class QWidget;

namespace tarnwick::account {

// The open login window (nullptr when none), and writing account and
// password into its boxes 编辑框1 and 编辑框2.
QWidget* loginWindow();
void fillLoginBoxes(const std::string& account, const std::string& password);

// Stores or forgets the credentials as 选择框1 of the login window says, then
// posts them as a job of the login window (登录 disabled meanwhile); a failure shows the message over the login
// window, a success fills Session and calls finishLogin. A login started by
// the QQ sign-in passes its values: they reach Session only when the login
// succeeded.
void startLogin(QWidget* loginWindow, const std::string& account, const std::string& password,
                std::optional<QqSignIn> qq = std::nullopt);

// Shows the main window, closes the login window, greets and logs the member.
void finishLogin(QWidget* loginWindow);

}  // namespace tarnwick::account
