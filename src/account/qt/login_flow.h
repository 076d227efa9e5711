#pragma once
// The login procedure shared by the login button and the QQ sign-in.

#include <string>

class QWidget;

namespace tarnwick::account {

// Stores or forgets the credentials as 选择框1 of the login window says, then
// posts them on a worker thread; a failure shows the message over the login
// window, a success fills Session and calls finishLogin.
void startLogin(QWidget* loginWindow, const std::string& account, const std::string& password);

// Shows the main window, closes the login window, greets and logs the member.
void finishLogin(QWidget* loginWindow);

}  // namespace tarnwick::account
