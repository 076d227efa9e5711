#include "browser/qt/browser_module.h"

#include "app/names/dialogs.h"
#include "app/qt/catalogue.h"
#include "app/qt/shell.h"
#include "browser/qt/file_list.h"
#include "browser/qt/folder_list.h"
#include "browser/qt/folder_window.h"
#include "browser/qt/link_actions.h"
#include "browser/qt/operation_windows.h"

namespace tarnwick::browser {

void registerBrowserModule() {
  app::addWindowInstaller(app::mainWindowTitle(), [](QWidget* main) {
    qt::installFolderList(main);
    qt::installFileList(main);
    qt::installLinkActions(main);
    qt::installOperationMenus(main);
  });
  using namespace app::names;
  app::addWindowInstaller(createFolder::kTitle, qt::installCreateFolderWindow);
  app::addWindowInstaller(renameFolder::kTitle, qt::installRenameWindow);
  app::addWindowInstaller(fileOperation::kTitle, qt::installFileOperationWindow);
  app::addWindowInstaller(linkFile::kTitle, qt::installLinkFileWindow);

}

}  // namespace tarnwick::browser
