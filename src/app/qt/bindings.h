#pragma once
// Handlers bound to catalogue controls by name: button clicks, menu items
// and popup menus on list views. A name the window lacks is reported
// (controls.h: reportMissingName), so a misspelt name cannot leave a dead
// button behind.
#include <QAbstractItemView>
#include <QAction>
#include <functional>

#include "app/qt/controls.h"

namespace tarnwick::app {

// A menu item of a window's popup menu (nullptr when absent: reported).
QAction* menuAction(QWidget* window, const MenuItemName& item);
// Connects a menu item's trigger to f.
void onMenu(QWidget* window, const MenuItemName& item, std::function<void()> f);
// Connects the click of a button of window to f.
void onClick(QWidget* window, const ControlName& button, std::function<void()> f);
// Pops menu up at the cursor when the right mouse button goes down (or up,
// with onRelease) over widget; before runs first and may swallow the event.
void popupMenuOn(QAbstractItemView* widget, const ControlName& menu, bool onRelease = false,
                 std::function<bool()> before = {});

}  // namespace tarnwick::app
