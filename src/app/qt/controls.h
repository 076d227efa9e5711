#pragma once
// Window lookup by title and control access by catalogue name, with GBK
// <-> QString at the widget border.

#include <QString>
#include <QWidget>
#include <string>

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

// Puts a GBK text on the clipboard (from any thread).
void copyToClipboard(const std::string& gbk);

}  // namespace tarnwick::app
