#include "transfer/qt/upload_lists.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QListWidget>
#include <QMimeData>
#include <QTreeView>
#include <QTreeWidget>
#include <QUrl>

#include "app/names/main_window.h"
#include "app/qt/shell.h"
#include "transfer/qt/queue_view.h"
#include "transfer/qt/upload_folders.h"
#include "transfer/qt/upload_page.h"
#include "transfer/upload_queue.h"

namespace tarnwick::transfer::qt {

using namespace app::names::main;

namespace {

// The local files (or folders) among the dropped URLs (remote URLs are left out).
QStringList droppedPaths(const QMimeData* mime, bool folders) {
  QStringList out;
  if (!mime || !mime->hasUrls()) return out;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile() && (folders ? QFileInfo(url.toLocalFile()).isDir() : QFileInfo(url.toLocalFile()).isFile()))
      out << url.toLocalFile();
  return out;
}
QStringList droppedFiles(const QMimeData* mime) { return droppedPaths(mime, false); }
QStringList droppedFolders(const QMimeData* mime) { return droppedPaths(mime, true); }

// Files dropped onto the queue (or the page) are appended to it; folders go
// whole.
class QueueDrop : public QObject {
 public:
  QueueDrop(QObject* parent, QWidget* main, UploadPage* page) : QObject(parent), m_main(main), m_page(page) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* e = static_cast<QDropEvent*>(event);
        if (droppedFiles(e->mimeData()).isEmpty() && droppedFolders(e->mimeData()).isEmpty())
          return QObject::eventFilter(watched, event);
        e->setDropAction(Qt::CopyAction);
        e->accept();
        return true;
      }
      case QEvent::Drop: {
        auto* e = static_cast<QDropEvent*>(event);
        const QStringList files = droppedFiles(e->mimeData());
        const QStringList folders = droppedFolders(e->mimeData());
        if (files.isEmpty() && folders.isEmpty()) return QObject::eventFilter(watched, event);
        e->setDropAction(Qt::CopyAction);
        e->accept();
        if (m_page && !files.isEmpty()) m_page->addFiles(files);
        if (m_page && !folders.isEmpty()) uploadFolders(m_main, m_page, folders);
        return true;
      }
      default:
        return QObject::eventFilter(watched, event);
    }
  }

 private:
  QWidget* m_main;
  QPointer<UploadPage> m_page;
};

}  // namespace

void installUploadLists(QWidget* main, UploadPage* page) {
  auto* queue = app::control<QTreeView>(main, kUploadQueueView);
  app::popupMenuOn(queue, kUploadQueueMenu);
  app::popupMenuOn(app::control<QListWidget>(main, kUploadNames), kUploadQueueMenu);
  app::onMenu(main, kDeleteUpload, [page] { page->deleteTask(); });
  bindRowMenu(main, queue, page->queue(),
              {kHoldUpload, kResumeUpload, kUploadUp, kUploadDown, kUploadToTop, kUploadToBottom, kRetryUpload},
              [page](const auto& ids) { page->startRows(ids); });
  if (queue) {
    queue->setAcceptDrops(true);
    queue->viewport()->setAcceptDrops(true);
    queue->viewport()->installEventFilter(new QueueDrop(queue, main, page));
  }
  if (QWidget* tab = app::page(main, kClientUploadPage)) {
    tab->setAcceptDrops(true);
    tab->installEventFilter(new QueueDrop(tab, main, page));
  }

  auto* done = app::control<QTreeWidget>(main, kUploadDoneView);
  app::popupMenuOn(done, kUploadDoneMenu);
  bindFinishedFileMenu(main, done, kUploadDoneName, kOpenUploadedFile, kOpenUploadedFolder);
}

}  // namespace tarnwick::transfer::qt
