#include "browser/qt/browser_module.h"

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
  app::addWindowInstaller(QStringLiteral("创建文件夹"), qt::installCreateFolderWindow);
  app::addWindowInstaller(QStringLiteral("文件夹新名称"), qt::installRenameWindow);
  app::addWindowInstaller(QStringLiteral("文件操作"), qt::installFileOperationWindow);
  app::addWindowInstaller(QStringLiteral("创建外链文件"), qt::installLinkFileWindow);
}

}  // namespace tarnwick::browser
