#include "transfer/qt/upload_folders.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>
#include <memory>
#include <vector>

#include "app/names/main_window.h"
#include "app/qt/bindings.h"
#include "app/qt/catalogue.h"
#include "app/qt/messages.h"
#include "app/session.h"
#include "transfer/folder_trees.h"
#include "transfer/qt/upload_page.h"
#include "transfer/upload_queue.h"

namespace tarnwick::transfer::qt {

using namespace app::names::main;

void uploadFolders(QWidget* main, UploadPage* page, const QStringList& folders) {
  page->applyContext();
  const UploadContext c = page->queue().context();
  const std::int32_t parent = app::Session::instance().currentFolderId();
  std::vector<std::string> paths;
  for (const QString& f : folders) paths.push_back(QFile::encodeName(QFileInfo(f).absoluteFilePath()).toStdString());
  QPointer<UploadPage> guard(page);
  QPointer<QWidget> window(main);
  QThreadPool::globalInstance()->start([paths, parent, c, guard, window] {
    auto plans = std::make_shared<std::vector<UploadTreePlan>>();
    for (const std::string& path : paths) plans->push_back(planUploadTree(path, parent, c.ftpHost, c.ftpUser));
    if (!guard) return;
    QMetaObject::invokeMethod(guard, [plans, guard, window] {
      if (!guard) return;
      QStringList left;
      for (const UploadTreePlan& p : *plans)
        for (const auto* list : {&p.refusedFolders, &p.refusedFiles, &p.unreadable})
          for (const std::string& line : *list) left << QString::fromStdString(line);
      if (!left.isEmpty()) {
        const int shown = 20;
        QString text = QStringLiteral("以下文件夹或文件的名称服务器不接受（或无法读取），将被跳过：\n") +
                       left.mid(0, shown).join(QStringLiteral("\n"));
        if (left.size() > shown) text += QStringLiteral("\n……共%1项").arg(left.size());
        text += QStringLiteral("\n\n是否上传其余的文件？");
        if (!app::askYesNo(text, QStringLiteral("信息："), window)) return;
      }
      for (UploadTreePlan& p : *plans)
        if (p.tree) guard->queue().addTree(std::move(p));
    }, Qt::QueuedConnection);
  });
}

void installUploadFolders(QWidget* main, UploadPage* page) {
  app::onClick(main, kUploadFolderButton, [main, page] {
    const QString dir = QFileDialog::getExistingDirectory(main, QStringLiteral("请选择要上传的文件夹"));
    if (!dir.isEmpty()) uploadFolders(main, page, {dir});
  });
}

}  // namespace tarnwick::transfer::qt
