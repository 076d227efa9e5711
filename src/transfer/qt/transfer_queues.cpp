#include "transfer/qt/transfer_queues.h"

#include <QDir>
#include <QFile>
#include <QWidget>

#include "app/names/main_window.h"
#include "app/qt/settings_ui.h"
#include "app/qt/shell.h"
#include "app/session.h"

namespace tarnwick::transfer::qt {

TransferQueues::TransferQueues(QWidget* main)
    : QObject(main), m_uploads(std::make_unique<UploadQueue>()), m_downloads(std::make_unique<DownloadQueue>()) {
  setObjectName(QStringLiteral("transferQueues"));
}

TransferQueues::~TransferQueues() {
  // Listeners first: nothing is handed to pages that go away with the window.
  m_uploads->setListener(nullptr);
  m_downloads->setListener(nullptr);
  m_uploads->stop();
  m_downloads->stop();
}

TransferQueues* TransferQueues::of(QWidget* main) {
  return main ? main->findChild<TransferQueues*>(QStringLiteral("transferQueues"), Qt::FindDirectChildrenOnly)
              : nullptr;
}

namespace {

QString queueFolder() {
  const QString folder = QString::fromStdString((app::documentsFolder() / "传输队列").string());
  QDir().mkpath(folder);
  return folder;
}

void log(const std::string& utf8) { app::logLine(app::names::main::kLogBox, app::toGbk(QString::fromStdString(utf8))); }

}  // namespace

QString TransferQueues::storePath() { return queueFolder() + QStringLiteral("/queues.db"); }

QString TransferQueues::oldSavePath(const std::string& accountGbk, const char* direction) {
  if (accountGbk.empty()) return {};
  // The account's bytes in hex: any account gives a plain file name.
  return queueFolder() + QStringLiteral("/") + QString::fromLatin1(QByteArray::fromStdString(accountGbk).toHex()) +
         QStringLiteral(".") + QString::fromLatin1(direction);
}

void TransferQueues::memberJoined() {
  const std::string account = app::Session::instance().accountName();
  if (account == m_uploads->account() && !account.empty()) return;  // the same member again
  if (!m_store) {
    std::string error;
    m_store = QueueStore::open(QFile::encodeName(storePath()).toStdString(), &error);
    if (!m_store)
      log(error + "; the transfer queues are kept until the program ends only");
    else if (!m_store->notice().empty())
      log(m_store->notice());
  }
  for (const char* kind : {"upload", "download"}) {
    if (!m_store || account.empty()) break;
    const ImportReport imported =
        m_store->importFile(kind, account, QFile::encodeName(oldSavePath(account, kind)).toStdString());
    for (const std::string& line : imported.problems) log(line);
    if (!imported.error.empty()) log(imported.error);
  }
  m_uploads->switchAccount(account, m_store, "upload");
  m_downloads->switchAccount(account, m_store, "download");
  for (TransferQueue* q :
       {static_cast<TransferQueue*>(m_uploads.get()), static_cast<TransferQueue*>(m_downloads.get())})
    for (const std::string& line : q->rejectedRows()) log(line);
}

void TransferQueues::memberLeft() {
  m_uploads->switchAccount("", nullptr, "upload");
  m_downloads->switchAccount("", nullptr, "download");
}

}  // namespace tarnwick::transfer::qt
