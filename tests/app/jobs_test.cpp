// Requests as jobs of a window, against a stand-in host with slow replies:
// the close-time request asks once and ends once, a result for a closed
// window is dropped, and stopping the workers at exit is bounded.
#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/qt/main_window.h"
#include "app/qt/shell.h"
#include "app/qt/shell_internal.h"
#include "net/hosts.h"
#include "net/http.h"
#include "standin_host.h"
#include "test_support.h"

using namespace tarnwick;
using namespace tarnwick::app;
using Seen = testsupport::StandInHost::Seen;

class JobsTest : public QObject {
  Q_OBJECT
  QTemporaryDir m_home;
  std::atomic<bool> m_release{false};  // ends the host's hanging replies
  testsupport::StandInHost m_host;

 private slots:
  void initTestCase() {
    qputenv("HOME", m_home.path().toUtf8());
    m_host.setHandler([this](const Seen& s) {
      if (s.target.rfind("/hang", 0) == 0)
        for (int i = 0; i < 3000 && !m_release.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (s.target.rfind("/slow", 0) == 0 || s.target.rfind("/guanli.php", 0) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
      return std::string("reply");
    });
    m_host.pointAllHostsHere();
    registerModules();
  }

  // Closing again while the close-time visit runs asks nothing more; the
  // program ends once, when the visit's reply is in.
  void closeDuringTheCloseTimeRequestAsksOnce() {
    resetExitRequest();
    auto* w = new MainWindow;
    w->show();
    auto first = std::make_shared<testsupport::SeenBox>();
    testsupport::answerNextBox(QMessageBox::No, first);
    w->close();
    QCOMPARE(first->text, QStringLiteral("是否最小化到托盘图标？"));
    QVERIFY(!exitRequested());  // the visit is still out
    auto second = std::make_shared<testsupport::SeenBox>();
    testsupport::answerNextBox(QMessageBox::No, second, 1500);
    w->close();
    w->close();
    QTRY_VERIFY_WITH_TIMEOUT(exitRequested(), 15000);
    QTest::qWait(1600);
    QVERIFY2(second->text.isEmpty(), qPrintable(second->text));
    QCOMPARE(m_host.count("/guanli.php?pid=1"), 1);
    delete w;
    resetExitRequest();
  }

  // The starting control is disabled while the job runs; a result for a
  // window closed meanwhile is dropped.
  void resultForAClosedWindowIsDropped() {
    QWidget* dialog = createWindow(QStringLiteral("公告"));
    QVERIFY(dialog);
    dialog->show();
    auto* button = new QPushButton(dialog);
    std::atomic<int> delivered{0};
    const int before = m_host.count("/slow");
    QVERIFY(WindowJobs::of(dialog)->request(net::JobRequest::fetch(m_host.url() + "/slow/1"), button,
                                            [&](const net::RequestJobResult&) { ++delivered; }));
    QVERIFY(!button->isEnabled());
    QCOMPARE(WindowJobs::of(dialog)->pending(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(m_host.count("/slow") == before + 1, 15000);  // the request is out
    QPointer<QWidget> alive(dialog);
    dialog->close();  // deleted on close: its jobs are cancelled
    QTRY_VERIFY(alive.isNull());
    QTRY_VERIFY_WITH_TIMEOUT(activeWorkers() == 0, 15000);
    QTest::qWait(50);
    QCOMPARE(delivered.load(), 0);

    // The same request for a window that stays: delivered once, control back.
    QWidget* kept = createWindow(QStringLiteral("公告"));
    auto* again = new QPushButton(kept);
    std::string reply;
    QVERIFY(WindowJobs::of(kept)->request(net::JobRequest::fetch(m_host.url() + "/slow/2"), again,
                                          [&](const net::RequestJobResult& r) { reply = r.reply, ++delivered; }));
    QTRY_COMPARE_WITH_TIMEOUT(delivered.load(), 1, 15000);
    QCOMPARE(reply, std::string("reply"));
    QVERIFY(again->isEnabled());
    delete kept;
  }

  // At exit: no new work, callers waiting on the GUI thread are released,
  // and the wait for running workers is bounded.
  void stoppingTheWorkersIsBounded() {
    std::atomic<bool> ended{false};
    startWorker([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(1000));
      ended = true;
    });
    std::atomic<bool> released{false};
    startWorker([&] {
      while (!workersStopping()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      callOnGuiAndWait([] {});  // the GUI thread is busy stopping: not run, not waited for
      released = true;
    });
    QTRY_COMPARE(activeWorkers(), 2);
    QVERIFY(!stopWorkers(std::chrono::milliseconds(100)));  // the sleeper outlasts the bound
    QVERIFY(released);
    std::atomic<bool> late{false};
    startWorker([&] { late = true; });  // refused while stopping
    QVERIFY(stopWorkers(std::chrono::milliseconds(10000)));
    QVERIFY(ended);
    QCOMPARE(activeWorkers(), 0);
    QVERIFY(!late);
    QVERIFY(!WindowJobs::of(qApp)->run([] {}, nullptr, [] {}));
    resumeWorkers();
  }

  // Exit while workers wait on replies that do not come: a request job, a
  // request deep inside a window's work, and one of a bare worker all end
  // at once, well within the bound, and no worker is left.
  void exitWithWorkersWaitingOnASlowReplyIsBounded() {
    QWidget* dialog = createWindow(QStringLiteral("公告"));
    std::atomic<int> delivered{0};
    std::string deepReply = "unset", bareReply = "unset";
    QVERIFY(WindowJobs::of(dialog)->request(net::JobRequest::fetch(m_host.url() + "/hang/job"), nullptr,
                                            [&](const net::RequestJobResult&) { ++delivered; }));
    QVERIFY(WindowJobs::of(dialog)->run([&] { deepReply = net::fetchUrl(m_host.url() + "/hang/deep"); }, nullptr,
                                        [&] { ++delivered; }));
    startWorker([&] { bareReply = net::httpRequestText(m_host.url() + "/hang/bare"); });
    QTRY_VERIFY_WITH_TIMEOUT(m_host.count("/hang") == 3, 15000);  // all three wait on the host
    QCOMPARE(activeWorkers(), 3);
    const auto t0 = std::chrono::steady_clock::now();
    QVERIFY(stopWorkers(std::chrono::milliseconds(3000)));
    QVERIFY(std::chrono::steady_clock::now() - t0 < std::chrono::milliseconds(3000));
    QCOMPARE(activeWorkers(), 0);
    QCOMPARE(deepReply, std::string());
    QCOMPARE(bareReply, std::string());
    QTest::qWait(50);  // a result queued for the GUI thread would run now
    QCOMPARE(delivered.load(), 1);  // the window's work reports back; the cancelled job does not
    resumeWorkers();
    m_release.store(true);
    delete dialog;
  }
};

QTEST_MAIN(JobsTest)
#include "jobs_test.moc"
