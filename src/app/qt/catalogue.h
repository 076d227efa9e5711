#pragma once
// The window catalogue: one data table describing the fourteen windows (their
// controls, captions, items, hidden text slots, popup menus and timers) and
// one builder that turns a window's rows into widgets.
//
// Widget kinds: edit box -> QLineEdit (multi-line ones -> QPlainTextEdit),
// label -> QLabel, button -> QPushButton, check box -> QCheckBox, combo box ->
// QComboBox, list box -> QListWidget, list view -> QTreeWidget in report mode
// (flat rows, one header section per column), model list view -> QTreeView
// holding only its column captions and widths until the code attaches its
// model (the queue lists), progress bar -> QProgressBar,
// spin box -> QSpinBox (range, suffix and the text shown at its minimum from its items),
// tab control -> QTabWidget (each page widget's objectName is the page
// title), group box -> QGroupBox, hyperlink -> HyperlinkLabel, picture box ->
// QLabel, web browser -> WebBrowser (the web engine view inside is created on
// first use), timer -> QTimer, popup menu -> QMenu (objectName = menu name,
// each QAction's objectName = its caption), file dialog -> a hidden QWidget.
// Hidden controls are real widgets with setVisible(false).

#include <QString>
#include <QWidget>
#include <span>

#include "app/control_kind.h"

namespace tarnwick::app {

enum ControlFlag : unsigned {
  Hidden = 1,
  Password = 2,
  ReadOnly = 4,
};

struct ControlDef {
  const char* window;  // window title
  const char* parent;  // "" = the window; else a page title or a group box name
  const char* name;    // objectName; "" for anonymous captions
  Kind kind;
  int x, y, w, h;
  const char* text;    // caption or initial text (UTF-8)
  const char* items;   // "\n"-separated items, columns or page titles
  unsigned flags = 0;
};

// Every row of the catalogue, windows in order, each window's rows together.
std::span<const ControlDef> catalogue();
// The row of a control (nullptr when the window has none of that name).
const ControlDef* catalogueRow(const QString& window, const QString& name);
// A control's design text: its row's caption or initial text, with the
// configured hosts filled in ("" without a row).
struct ControlName;
QString designText(const ControlName& name);
QString designText(const QString& window, const QString& name);

// Titles of the windows of the catalogue, main window first.
QStringList catalogueWindowTitles();
// The main window's title.
QString mainWindowTitle();

// Builds the widgets of the window with this title (nullptr for an unknown
// title). The main window is a plain QWidget built into `into` when given;
// dialogs are QDialogs. No handlers are attached here.
QWidget* buildWindow(const QString& title, QWidget* into = nullptr, QWidget* parent = nullptr);

}  // namespace tarnwick::app
