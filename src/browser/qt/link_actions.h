#pragma once
// Share links, direct links and web views: the menu entries and controls
// that put a file or folder address on the clipboard or open it.

class QWidget;

namespace tarnwick::browser::qt {

void installLinkActions(QWidget* mainWindow);

}  // namespace tarnwick::browser::qt
