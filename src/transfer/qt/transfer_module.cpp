#include "transfer/qt/transfer_module.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTreeView>
#include <QTreeWidget>

#include "app/names/dialogs.h"
#include "app/names/main_window.h"
#include "app/qt/catalogue.h"
#include "app/qt/shell.h"
#include "app/session.h"
#include "net/hosts.h"
#include "transfer/qt/download_page.h"
#include "transfer/qt/queue_model.h"
#include "transfer/qt/queue_view.h"
#include "transfer/qt/transfer_settings_window.h"
#include "transfer/qt/transfer_queues.h"
#include "transfer/qt/upload_folders.h"
#include "transfer/qt/upload_lists.h"
#include "transfer/qt/upload_page.h"
#include "transfer/qt/upload_target.h"

namespace tarnwick::transfer::qt {

using namespace app::names::main;

namespace {

// A left button press on a label runs f.
class LabelClick : public QObject {
 public:
  LabelClick(QObject* parent, std::function<void()> f) : QObject(parent), m_f(std::move(f)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
      m_f();
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> m_f;
};

using app::onClick;
using app::onMenu;

void bindUploadPage(QWidget* main, UploadPage* page) {
  // The FTP server of the uploads is the configured one.
  app::setControlText(main, kFtpHostBox, net::hosts().ftpHost);
  onClick(main, kChooseFilesButton, [page] { page->chooseFiles(); });
  installUploadFolders(main, page);
  onClick(main, kUploadButton, [page] { page->startQueue(); });
  onClick(main, kUploadSettingsButton, [] { openTransferSettings(); });
  installUploadLists(main, page);
  onMenu(main, kUploadToFolder, [main] { uploadHere(main, false); });
  onMenu(main, kUploadToFileFolder, [main] { uploadHere(main, true); });
  if (auto* target = app::control<QLabel>(main, kUploadTargetLabel))
    target->installEventFilter(new LabelClick(target, [main] { showFilesPage(main); }));
  // Coming back to the page 上传文件 shows the folder the next upload goes to.
  if (auto* tabs = app::control<QTabWidget>(main, kPages))
    QObject::connect(tabs, &QTabWidget::currentChanged, page, [main] {
      if (app::pageShown(main, kUploadPage)) showUploadTarget(main, app::Session::instance().currentFolderId());
    });
}

void bindDownloadPage(QWidget* main, DownloadPage* page) {
  onMenu(main, kAddToDownloads, [page] { page->addSelectedFiles(); });
  onMenu(main, kDownloadCloudFolder, [page] { page->addSelectedFolder(); });
  onMenu(main, kDeleteDownload, [page] { page->deleteTask(); });
  auto* queue = app::control<QTreeView>(main, kDownloadQueueView);
  bindRowMenu(main, queue, page->queue(),
              {kHoldDownload, kResumeDownload, kDownloadUp, kDownloadDown, kDownloadToTop, kDownloadToBottom,
               kRetryDownload},
              [page](const auto& ids) { page->startRows(ids); });
  auto* done = app::control<QTreeWidget>(main, kDownloadedView);
  bindFinishedFileMenu(main, done, kDownloadedAddress, kOpenDownloadedFile, kOpenDownloadedFolder);
  app::popupMenuOn(queue, kDownloadingMenu);
  app::popupMenuOn(done, kDownloadedMenu);
  onClick(main, kStartDownloadButton, [page] { page->startQueue(); });
  onClick(main, kChooseFolderButton, [page] { page->chooseFolder(); });
  onClick(main, kDownloadSettingsButton, [] { openTransferSettings(); });
}

// The tray icon's tooltip: the files left and the speed of each direction.
void showQueuesInTray(QWidget* main, UploadPage* up, DownloadPage* down) {
  auto update = [main, up, down] {
    QSystemTrayIcon* tray = main->findChild<QSystemTrayIcon*>();
    if (!tray) return;
    const QString tip = QStringLiteral("%1\n上传：剩余%2个文件，%3KB/s\n下载：剩余%4个文件，%5KB/s")
                            .arg(main->windowTitle())
                            .arg(up->rowsLeft())
                            .arg(up->speedKb())
                            .arg(down->rowsLeft())
                            .arg(down->speedKb());
    if (tray->toolTip() != tip) tray->setToolTip(tip);
  };
  QObject::connect(up, &UploadPage::progressChanged, up, update);
  QObject::connect(down, &DownloadPage::progressChanged, down, update);
}

void installPages(QWidget* main) {
  auto* queues = new TransferQueues(main);
  applySavedTransferSettings(main);
  onMenu(main, kTraySettings, [] { openTransferSettings(); });
  auto* up = new UploadPage(main, queues->uploads());
  auto* down = new DownloadPage(main, queues->downloads());
  bindUploadPage(main, up);
  bindDownloadPage(main, down);
  showQueuesInTray(main, up, down);
}

void installFolderPick(QWidget* window) {
  onClick(window, app::names::createFolder::kConfirmButton, [window] { pickUploadFolder(window); });
}

}  // namespace

void registerTransferModule() {
  app::addWindowInstaller(app::mainWindowTitle(), installPages);
  // The queues belong to the member: loaded at each login, stopped and put
  // away when the member leaves or the program ends.
  // The lists show the member's rows (or none) at once.
  auto showRows = [] {
    if (UploadPage* page = UploadPage::of(app::mainWindow())) page->model()->refresh();
    if (DownloadPage* page = DownloadPage::of(app::mainWindow())) page->model()->refresh();
  };
  app::addMemberHooks(
      [showRows] {
        if (TransferQueues* q = TransferQueues::of(app::mainWindow())) q->memberJoined();
        if (UploadPage* page = UploadPage::of(app::mainWindow())) page->readFtpAccount();
        showRows();
      },
      [showRows] {
        if (TransferQueues* q = TransferQueues::of(app::mainWindow())) q->memberLeft();
        showRows();
      });
  app::addWindowInstaller(app::names::createFolder::kTitle, installFolderPick);
  registerTransferSettingsWindow();
}

}  // namespace tarnwick::transfer::qt
