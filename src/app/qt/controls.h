#pragma once
// Window lookup by title and control access by catalogue name, with GBK
// <-> QString at the widget border.

#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "app/names/name.h"

namespace tarnwick::app {

// GBK bytes <-> QString (through the core's iconv conversion).
QString fromGbk(const std::string& gbk);
std::string toGbk(const QString& s);

// Windows of the catalogue; objectName = title. The main window exists for
// the whole run; dialogs exist while open (nullptr otherwise).
QWidget* mainWindow();
QWidget* findWindow(const QString& title);
// A lookup of a name that the window lacks (or holds as another kind) is a
// fault of the code or the catalogue, never a state to carry on from quietly:
// it is reported to the handler set here. By default a debug build, or any
// build run with TARNWICK_STRICT_NAMES=1 (the tests), stops with qFatal; a
// release build logs it and the lookup gives nullptr. Returns the previous
// handler.
using MissingNameHandler = std::function<void(const QString& window, const QString& name)>;
MissingNameHandler setMissingNameHandler(MissingNameHandler handler);
void reportMissingName(const QWidget* window, const QString& name);

// A control of a window by catalogue name (objectName), or nullptr. A
// missing name is reported (above) unless the window itself is gone.
template <class T = QWidget>
T* control(QWidget* window, const QString& name) {
  if (!window) return nullptr;
  T* found = window->findChild<T*>(name);
  if (!found) reportMissingName(window, name);
  return found;
}
template <class T = QWidget>
T* control(QWidget* window, const ControlName& name) {
  return control<T>(window, QString::fromUtf8(name.name));
}
// A page of a tab control (its page widget), whether it is the page shown,
// showing it, and the title of the page shown ("" when none).
QWidget* page(QWidget* window, const PageName& p);
bool pageShown(QWidget* window, const PageName& page);
void showPage(QWidget* window, const PageName& page);
QString shownPage(QWidget* window, const ControlName& tabs);
// The caption on a page's tab (the page keeps its title as objectName).
void setPageCaption(QWidget* window, const PageName& page, const QString& caption);

// Text of a control (line edit, text edit, label, button, combo box current
// text, or a hidden text slot) as GBK, and writing it. The QString forms are
// for names that come as data (the form tables of the core).
std::string controlText(QWidget* window, const ControlName& name);
void setControlText(QWidget* window, const ControlName& name, const std::string& gbk);
std::string controlText(QWidget* window, const QString& name);
void setControlText(QWidget* window, const QString& name, const std::string& gbk);

// Puts a GBK text on the clipboard (from any thread).
void copyToClipboard(const std::string& gbk);

}  // namespace tarnwick::app
