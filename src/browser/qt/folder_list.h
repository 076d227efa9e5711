#pragma once
// The folder list of the page "文件": loading it from the service into
// 列表框2 and 超级列表框5, and making the selected folder current.

#include <functional>

class QWidget;

namespace tarnwick::browser::qt {

// Reloads the folder list (GUI thread): the page is fetched as a job of the
// main window, then the lists are refilled, the folder selected and its files
// listed. onLoaded runs after the lists are filled.
void loadFolders(std::function<void()> onLoaded = {});

enum class FolderSource { FolderView, FolderListBox };
// Makes the folder selected in source current (the other list follows) and
// starts the listing of its first page. GUI thread.
void selectFolder(FolderSource source);

// Main window handlers of the folder list.
void installFolderList(QWidget* mainWindow);

}  // namespace tarnwick::browser::qt
