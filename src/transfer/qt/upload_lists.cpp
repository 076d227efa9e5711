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
#include "transfer/qt/upload_page.h"
#include "transfer/upload_queue.h"

namespace tarnwick::transfer::qt {

using namespace app::names::main;

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
    queue->viewport()->installEventFilter(new QueueDrop(queue, page));
  }

  auto* done = app::control<QTreeWidget>(main, kUploadDoneView);
  app::popupMenuOn(done, kUploadDoneMenu);
  bindFinishedFileMenu(main, done, kUploadDoneName, kOpenUploadedFile, kOpenUploadedFolder);
}

}  // namespace tarnwick::transfer::qt
