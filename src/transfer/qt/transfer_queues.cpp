#include "transfer/qt/transfer_queues.h"

#include <QDir>
#include <QFile>
#include <QWidget>

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

QString TransferQueues::savePath(const std::string& accountGbk, const char* direction) {
  if (accountGbk.empty()) return {};
  const QString folder = QString::fromStdString((app::documentsFolder() / "传输队列").string());
  QDir().mkpath(folder);
  // The account's bytes in hex: any account gives a plain file name.
  return folder + QStringLiteral("/") + QString::fromLatin1(QByteArray::fromStdString(accountGbk).toHex()) +
         QStringLiteral(".") + QString::fromLatin1(direction);
}

void TransferQueues::memberJoined() {
  const std::string account = app::Session::instance().accountName();
  if (account == m_uploads->account() && !account.empty()) return;  // the same member again
  m_uploads->switchAccount(account, QFile::encodeName(savePath(account, "upload")).toStdString());
  m_downloads->switchAccount(account, QFile::encodeName(savePath(account, "download")).toStdString());
}

void TransferQueues::memberLeft() {
  m_uploads->switchAccount("", "");
  m_downloads->switchAccount("", "");
}

}  // namespace tarnwick::transfer::qt
