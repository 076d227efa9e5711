#pragma once
// The folder list of the page "文件": loading it from the service into
// 列表框2 and 超级列表框5, and making the selected folder current.

#include <functional>

class QWidget;

namespace tarnwick::browser::qt {

// Reloads the folder list. Callable from any thread: the page is fetched on a
// worker (the calling one, or a new one when called on the GUI thread) and
// the lists are refilled on the GUI thread, which then selects the folder and
// lists its files. onLoaded runs on the GUI thread after the lists are filled.
void loadFolders(std::function<void()> onLoaded = {});

enum class FolderSource { FolderView, FolderListBox };
// Makes the folder selected in source current (the other list follows) and
// starts the listing of its first page. GUI thread.
void selectFolder(FolderSource source);

// Main window handlers of the folder list.
void installFolderList(QWidget* mainWindow);

}  // namespace tarnwick::browser::qt
