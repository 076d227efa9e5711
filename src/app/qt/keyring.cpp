#include "app/qt/keyring.h"

#include <QCoreApplication>
#include <qt6keychain/keychain.h>

#include "app/keyring_names.h"
#include "app/qt/controls.h"

namespace tarnwick::app {

namespace {

// Creates the job on the GUI thread (the keychain's jobs live in the thread
// that starts them and answer through its event loop), sets its key and
// calls `finished` there with the finished job.
template <class JobT>
void startJob(const std::string& account, std::function<void(JobT*)> prepare,
              std::function<void(JobT*)> finished) {
  QMetaObject::invokeMethod(qApp, [key = fromGbk(account), prepare = std::move(prepare),
                                   finished = std::move(finished)] {
    auto* job = new JobT(QString::fromUtf8(keyring::kService));  // deletes itself once finished
    job->setKey(key);
    if (prepare) prepare(job);
    QObject::connect(job, &QKeychain::Job::finished, qApp, [finished](QKeychain::Job* j) {
      if (finished) finished(static_cast<JobT*>(j));
    });
    job->start();
  });
}

QString describe(const QKeychain::Job* job) {
  return job->errorString().isEmpty() ? QStringLiteral("error %1").arg(job->error()) : job->errorString();
}

}  // namespace

void readKeyringPassword(const std::string& account,
                         std::function<void(std::optional<std::string>, QString)> done) {
  startJob<QKeychain::ReadPasswordJob>(account, nullptr, [done](QKeychain::ReadPasswordJob* job) {
    if (job->error() == QKeychain::NoError) done(toGbk(job->textData()), QString());
    else done(std::nullopt, job->error() == QKeychain::EntryNotFound ? QString() : describe(job));
  });
}

void writeKeyringPassword(const std::string& account, const std::string& password,
                          std::function<void(bool, QString)> done) {
  startJob<QKeychain::WritePasswordJob>(
      account, [text = fromGbk(password)](QKeychain::WritePasswordJob* job) { job->setTextData(text); },
      [done](QKeychain::WritePasswordJob* job) {
        const bool ok = job->error() == QKeychain::NoError;
        done(ok, ok ? QString() : describe(job));
      });
}

void deleteKeyringPassword(const std::string& account) {
  startJob<QKeychain::DeletePasswordJob>(account, nullptr, nullptr);
}

}  // namespace tarnwick::app
