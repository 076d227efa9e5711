#pragma once
// The local settings at the window border: the skin selectors of the login
// window (组合框1) and the main window (组合框3), and the remembered login.
#include <QWidget>
#include <filesystem>
#include <string>

namespace tarnwick::app {

// The user's documents folder (created when missing, so settings can be kept).
std::filesystem::path documentsFolder();

// Login window created, skin part: fills both selectors with "1".."33",
// selects the stored skin in both and applies the login selector's skin.
// Runs from the shell's own installer of the login window.
void fillSkinSelectors(QWidget* login);
// Main window: a change of 组合框3 applies and stores the skin.
void connectMainSkinSelector(QWidget* main);

// Login window created, credentials part: ticks 选择框1 when a login is
// stored and fills 编辑框1/编辑框2 when it splits into account and password;
// when the file keeps the account alone, 编辑框2 is filled from the keyring
// once it answers.
void fillRememberedLogin(QWidget* login);
// At each login attempt, before the request (GUI thread): ticked -> the
// password goes to the keyring and the file keeps account + "切割"; where no
// keyring takes it, the file keeps account + "切割" + password (owner-only,
// replaced whole) and the log says so once. A password that the file kept
// from before moves to the keyring this way. Unticked -> the file and the
// remembered account's keyring entry are deleted. The keyring answers later;
// the file is written when it has.
void rememberLogin(bool ticked, const std::string& account, const std::string& password);

}  // namespace tarnwick::app
