#include "transfer/qt/upload_module.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>

#include "app/qt/catalogue.h"
#include "app/qt/shell.h"
#include "app/session.h"
#include "browser/qt/widgets.h"
#include "net/hosts.h"
#include "transfer/qt/upload_lists.h"
#include "transfer/qt/upload_page.h"
#include "transfer/qt/transfer_queues.h"
#include "transfer/qt/upload_target.h"

namespace tarnwick::transfer::qt {

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

using browser::qt::onClick;

void installUploadPage(QWidget* main) {
  auto* queues = new TransferQueues(main);
  auto* page = new UploadPage(main, queues->uploads());
  // The FTP server of the uploads is the configured one.
  app::setControlText(main, QStringLiteral("服务器ip编辑框"), net::hosts().ftpHost);
  onClick(main, "选择文件", [page] { page->chooseFiles(); });
  onClick(main, "上传按钮", [page] { page->startQueue(); });
  installUploadLists(main, page);
  browser::qt::onMenu(main, "目录", "上传文件到此处", [main] { uploadHere(main, false); });
  browser::qt::onMenu(main, "菜单", "上传文件到此", [main] { uploadHere(main, true); });
  if (auto* target = app::control<QLabel>(main, QStringLiteral("标签48")))
    target->installEventFilter(new LabelClick(target, [main] { showFilesPage(main); }));
  // Coming back to the page 上传文件 shows the folder the next upload goes to.
  if (auto* tabs = app::control<QTabWidget>(main, QStringLiteral("选择夹1")))
    QObject::connect(tabs, &QTabWidget::currentChanged, page, [main](int index) {
      if (index == 0) showUploadTarget(main, app::Session::instance().currentFolderId());
    });
}

void installFolderPick(QWidget* window) {
  onClick(window, "按钮2", [window] { pickUploadFolder(window); });
}

}  // namespace

void registerUploadModule() {
  app::addWindowInstaller(app::mainWindowTitle(), installUploadPage);
  // The queues belong to the member: loaded at each login, stopped and put
  // away when the member leaves or the program ends.
  app::addMemberHooks(
      [] {
        if (TransferQueues* q = TransferQueues::of(app::mainWindow())) q->memberJoined();
      },
      [] {
        if (TransferQueues* q = TransferQueues::of(app::mainWindow())) q->memberLeft();
      });
  app::addWindowInstaller(QStringLiteral("创建文件夹"), installFolderPick);
}

}  // namespace tarnwick::transfer::qt
