#pragma once
// Names of catalogue controls as constants the compiler checks: a control is
// its window's title, its objectName and its kind; a tab page, a list column
// and a menu item hang off the control that holds them. The catalogue rows,
// the handlers and the core's form, switch and settings tables all use these
// constants, so a name is written once. Nothing here depends on the toolkit.
//
// Each constant is declared with one of the macros below, which also records
// it in names::all(): the catalogue test walks that list and checks every
// name against the rows the windows are built from.

#include <vector>

#include "app/control_kind.h"

namespace tarnwick::app {

struct ControlName {
  const char* window;  // window title (UTF-8)
  const char* name;    // objectName (UTF-8)
  Kind kind;
};

// A page of a tab control; the page widget's objectName is its title.
struct PageName {
  ControlName tabs;
  const char* title;
};

// A column of a list view: its index and its header caption. Converts to the
// index, so `item->text(kColumn)` reads as it should.
struct ColumnName {
  ControlName view;
  int index;
  const char* caption;
  constexpr operator int() const { return index; }
};

// An item of a popup menu; the QAction's objectName is its caption.
struct MenuItemName {
  ControlName menu;
  const char* caption;
};

namespace names {

// One recorded name: a control (item == nullptr), or a page, column or menu
// item of the control (item = its title or caption; column = index or -1).
struct Record {
  ControlName control;
  const char* item = nullptr;
  int column = -1;
};

// Every name declared in the names headers linked into the program.
const std::vector<Record>& all();

struct Registered {
  explicit Registered(const ControlName& n);
  explicit Registered(const PageName& p);
  explicit Registered(const ColumnName& c);
  explicit Registered(const MenuItemName& m);
};

}  // namespace names
}  // namespace tarnwick::app

// Declares a constant `id` in the current namespace and records it.
#define TARNWICK_NAME_RECORD(id) inline const ::tarnwick::app::names::Registered id##Registered{id}
#define TARNWICK_CONTROL(id, window, name, kind)                                               \
  inline constexpr ::tarnwick::app::ControlName id{window, name, ::tarnwick::app::Kind::kind}; \
  TARNWICK_NAME_RECORD(id)
#define TARNWICK_PAGE(id, tabs, title)                        \
  inline constexpr ::tarnwick::app::PageName id{tabs, title}; \
  TARNWICK_NAME_RECORD(id)
#define TARNWICK_COLUMN(id, view, index, caption)                          \
  inline constexpr ::tarnwick::app::ColumnName id{view, index, caption}; \
  TARNWICK_NAME_RECORD(id)
#define TARNWICK_MENU_ITEM(id, menu, caption)                          \
  inline constexpr ::tarnwick::app::MenuItemName id{menu, caption}; \
  TARNWICK_NAME_RECORD(id)
