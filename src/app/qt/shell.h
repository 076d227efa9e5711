#pragma once
// The GUI side's shared services: window lookup by catalogue name, GBK <->
// QString at the widget border, message boxes, log lines, workers and the
// hand-over of their results to the GUI thread.
//
// Thread rule: only the GUI thread touches widgets. A worker started with
// startWorker reads what it needs before it starts (or asks the GUI thread
// with callOnGuiAndWait) and hands every write back with runOnGui.

#include <QDateTime>
#include <QMessageBox>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "app/qt/window_jobs.h"
#include "app/qt/workers.h"

namespace tarnwick::app {

// GBK bytes <-> QString (through the core's iconv conversion).
QString fromGbk(const std::string& gbk);
std::string toGbk(const QString& s);

// Windows of the catalogue; objectName = title. The main window exists for
// the whole run; dialogs exist while open (nullptr otherwise).
QWidget* mainWindow();
QWidget* findWindow(const QString& title);
// A control of a window by catalogue name (objectName), or nullptr.
template <class T = QWidget>
T* control(QWidget* window, const QString& name) {
  return window ? window->findChild<T*>(name) : nullptr;
}
// Text of a control (line edit, text edit, label, button, combo box current
// text, or a hidden text slot) as GBK, and writing it.
std::string controlText(QWidget* window, const QString& name);
void setControlText(QWidget* window, const QString& name, const std::string& gbk);

// Task-modal message box with caption "信息：" (or the given one), OK button.
void showMessage(const QString& text, const QString& caption = QStringLiteral("信息："),
                 QWidget* parent = nullptr);
// Yes/No question; true when Yes was pressed.
bool askYesNo(const QString& text, const QString& caption = QStringLiteral("信息："),
              QWidget* parent = nullptr);

// Log lines: stampLogTime refreshes Session.logTime from the clock (the clock
// can be injected for tests); appendLog adds text at the end of a log box
// (objectName, e.g. "编辑框48" or "日志编辑框") of the main window.
void stampLogTime();
void appendLog(const QString& box, const std::string& gbkText);
// logTime + message + "\r\n" appended to box after stampLogTime.
void logLine(const QString& box, const std::string& gbkMessage);


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
void navigateBrowser(QWidget* window, const QString& name, const QString& url);

// Ends the program with code: removes the tray icon, leaves every event loop
// and makes the start routine return code. exitRequested() tells whether it
// was called.
void exitProgram(int code);
bool exitRequested();

// After every successful login: points the web-upload page 超文本浏览框1 and
// the listing address 编辑框3 of the main window at the member in Session.
void memberLoggedIn();

// The main window's placement and the tray (main_window.cpp).
// Shows the main window, restored and centred on its screen, on the taskbar.
void showMainWindowCentred();
// Hides the main window (it leaves the taskbar; the tray icon stays). Without
// a notification area the window is minimised instead, so it can be reached.
void hideMainWindowToTray();
// Skins 1..33 (another number does nothing).
void applySkin(int n);

// Stops the download in progress and deletes its partly written file; the
// close query calls it when the user quits with pending downloads. The
// download manager installs it; none installed = nothing to stop.
void setStopRunningDownloadHook(std::function<void()> hook);

// Puts a GBK text on the clipboard (from any thread).
void copyToClipboard(const std::string& gbk);

// The clock of stampLogTime (tests inject a fixed time; default: now).
void setLogClock(std::function<QDateTime()> clock);

// Page loaders: a change of the main tab page 选择夹1 starts, on a worker,
// the loader registered for the new page's title ("文件", "个人", ...).
// Loaders run off the GUI thread and write controls only through runOnGui.
using PageLoader = std::function<void()>;
void setPageLoader(const QString& pageTitle, PageLoader loader);
// refreshPage: starts the loader of the page now shown (nothing when none).
void refreshPage(const QString& pageTitle);

}  // namespace tarnwick::app
