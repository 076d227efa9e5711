#pragma once
// Windows of the catalogue: installers of the feature modules, creating
// and opening windows, page loaders, and the way the program ends.

#include <QString>
#include <QWidget>
#include <functional>

namespace tarnwick::app {

struct ControlName;

// Feature modules attach their handlers to windows as the catalogue creates
// them: every installer registered for a title runs on each new window of
// that title (the main window once, a dialog each time it opens).
using WindowInstaller = std::function<void(QWidget* window)>;
void addWindowInstaller(const QString& title, WindowInstaller installer);
void runWindowInstallers(QWidget* window);
// Registers every feature module's installers and page loaders; defined in
// src/app/qt/modules.cpp, called once by the start routine (and by tests)
// before any window is created. Each module adds one line there.
void registerModules();

// Windows of the catalogue. createWindow builds the window with this title,
// registers it for findWindow and runs its installers; it is not shown yet.
// Dialogs delete themselves when closed. openWindowModal creates, runs it
// modally and returns the dialog's result once it is closed (at once, with
// 0, after exitProgram). openWindow creates and shows it without blocking.
QWidget* createWindow(const QString& title, QWidget* parent = nullptr);
int openWindowModal(const QString& title, QWidget* parent = nullptr);
QWidget* openWindow(const QString& title, QWidget* parent = nullptr);
// Loads url in the web browser control `name` of window (creating the web
// view on first use; the HTTP engine's cookies are copied in first).
void navigateBrowser(QWidget* window, const ControlName& name, const QString& url);

// Ends the program with code: removes the tray icon, leaves every event loop
// and makes the start routine return code. exitRequested() tells whether it
// was called.
void exitProgram(int code);
bool exitRequested();

// After every successful login: points the web-upload page 超文本浏览框1 and
// the listing address 编辑框3 of the main window at the member in Session,
// then runs the modules' joined hooks.
void memberLoggedIn();
// The member leaves (注销, logged in elsewhere) or the program ends
// (exitProgram runs it first): the modules' leaving hooks stop and put away
// what belongs to the member, the transfers among them. Each way out runs
// the same hooks, once per leave.
void memberLeaving();
// Registered once per module (registerModules), run in that order.
void addMemberHooks(std::function<void()> joined, std::function<void()> leaving);

// Page loaders: a change of the main tab page 选择夹1 runs the loader
// registered for the new page's title ("文件", "个人", ...). Loaders run on
// the GUI thread and return at once: what they fetch runs as jobs of the
// main window (WindowJobs).
using PageLoader = std::function<void()>;
void setPageLoader(const QString& pageTitle, PageLoader loader);
// refreshPage: starts the loader of the page now shown (nothing when none).
void refreshPage(const QString& pageTitle);

}  // namespace tarnwick::app
