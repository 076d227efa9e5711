#include "transfer/qt/upload_lists.h"

#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QProcess>
#include <QTreeWidget>
#include <QUrl>

#include "app/qt/shell.h"
#include "browser/qt/widgets.h"
#include "transfer/qt/upload_page.h"

namespace tarnwick::transfer::qt {

namespace {

// The local files among the dropped URLs (folders and remote URLs are left out).
QStringList droppedFiles(const QMimeData* mime) {
  QStringList files;
  if (!mime || !mime->hasUrls()) return files;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile()) files << url.toLocalFile();
  return files;
}

// Files dropped onto the queue are appended to it.
class QueueDrop : public QObject {
 public:
  QueueDrop(QObject* parent, UploadPage* page) : QObject(parent), m_page(page) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* e = static_cast<QDropEvent*>(event);
        if (droppedFiles(e->mimeData()).isEmpty()) return QObject::eventFilter(watched, event);
        e->setDropAction(Qt::CopyAction);
        e->accept();
        return true;
      }
      case QEvent::Drop: {
        auto* e = static_cast<QDropEvent*>(event);
        const QStringList files = droppedFiles(e->mimeData());
        if (files.isEmpty()) return QObject::eventFilter(watched, event);
        e->setDropAction(Qt::CopyAction);
        e->accept();
        if (m_page) m_page->addFiles(files);
        return true;
      }
      default:
        return QObject::eventFilter(watched, event);
    }
  }

 private:
  QPointer<UploadPage> m_page;
};

QString finishedPath(QWidget* main) {
  QTreeWidget* done = browser::qt::listView(main, "超级列表框4");
  const QList<QTreeWidgetItem*> picked = done ? done->selectedItems() : QList<QTreeWidgetItem*>();
  return picked.isEmpty() ? QString() : picked.first()->text(0);
}

}  // namespace

void showInFileManager(const QString& path) {
  const QUrl file = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
  const QUrl folder = QUrl::fromLocalFile(QFileInfo(path).absolutePath());
  auto* ask = new QProcess;
  ask->setProgram(QStringLiteral("dbus-send"));
  ask->setArguments({QStringLiteral("--session"), QStringLiteral("--print-reply"),
                     QStringLiteral("--dest=org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
                     QStringLiteral("org.freedesktop.FileManager1.ShowItems"),
                     QStringLiteral("array:string:") + QString::fromUtf8(file.toEncoded()), QStringLiteral("string:")});
  // No file manager with that interface (or no session bus): open the folder.
  QObject::connect(ask, &QProcess::finished, ask, [ask, folder](int code, QProcess::ExitStatus status) {
    if (code != 0 || status != QProcess::NormalExit) QDesktopServices::openUrl(folder);
    ask->deleteLater();
  });
  QObject::connect(ask, &QProcess::errorOccurred, ask, [ask, folder](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    QDesktopServices::openUrl(folder);
    ask->deleteLater();
  });
  ask->start();
}

void installUploadLists(QWidget* main, UploadPage* page) {
  QTreeWidget* queue = browser::qt::listView(main, "超级列表框6");
  browser::qt::popupMenuOn(queue, "上传菜单");
  browser::qt::popupMenuOn(browser::qt::listBox(main, "列表框1"), "上传菜单");
  browser::qt::onMenu(main, "上传菜单", "删除该上传任务", [page] { page->deleteTask(); });
  if (queue) {
    queue->setAcceptDrops(true);
    queue->viewport()->setAcceptDrops(true);
    queue->viewport()->installEventFilter(new QueueDrop(queue, page));
  }

  browser::qt::popupMenuOn(browser::qt::listView(main, "超级列表框4"), "上传完成菜单");
  browser::qt::onMenu(main, "上传完成菜单", "打开该文件", [main] {
    const QString path = finishedPath(main);
    if (!path.isEmpty()) QDesktopServices::openUrl(QUrl::fromLocalFile(path));
  });
  browser::qt::onMenu(main, "上传完成菜单", "打开文件夹", [main] {
    const QString path = finishedPath(main);
    if (!path.isEmpty()) showInFileManager(path);
  });
}

}  // namespace tarnwick::transfer::qt
