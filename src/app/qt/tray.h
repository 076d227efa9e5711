#pragma once
// The main window's placement, the tray and skins.

#include <functional>

namespace tarnwick::app {

// The main window's placement and the tray (main_window.cpp).
// Shows the main window, restored and centred on its screen, on the taskbar.
void showMainWindowCentred();
// Hides the main window (it leaves the taskbar; the tray icon stays). Without
// a notification area the window is minimised instead, so it can be reached.
void hideMainWindowToTray();
// Skins 1..33 (another number does nothing).
void applySkin(int n);


}  // namespace tarnwick::app
