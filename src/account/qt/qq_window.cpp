// QQ sign-in: the service's sign-in page in the window's browser, and a poll
// of "/qdlxx.php" once a second (after the first tick of 时钟1) until the
// service reports the signed-in member or the window is closed.
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "account/login.h"
#include "account/qt/account_module.h"
#include "account/qt/login_flow.h"
#include "app/qt/shell.h"
#include "app/qt/web_browser.h"
#include "app/session.h"
#include "net/hosts.h"
#include "net/http.h"

namespace tarnwick::account {
namespace {

// Clears the window's "open" flag when the window is closed or destroyed, so
// the poll ends with the window.
class CloseWatcher : public QObject {
 public:
  CloseWatcher(QWidget* window, std::shared_ptr<std::atomic<bool>> open)
      : QObject(window), m_open(std::move(open)) {
    window->installEventFilter(this);
  }
  ~CloseWatcher() override { m_open->store(false); }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Close) m_open->store(false);
    return false;
  }

 private:
  std::shared_ptr<std::atomic<bool>> m_open;
};

// One poll: a signed-in reply logs in, anything else polls again a second
// later, as long as the QQ window is open.
void poll(QPointer<QWidget> qqWindow, std::shared_ptr<std::atomic<bool>> open) {
  if (!open->load() || app::workersStopping()) return;
  std::string reply = net::fetchUrl(qqPollUrl(net::hosts().mainHost));
  std::optional<QqSignIn> signIn = parseQqPoll(reply);
  if (!signIn) {
    for (int i = 0; i < 10 && open->load() && !app::workersStopping(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (open->load()) app::startWorker([qqWindow, open] { poll(qqWindow, open); });
    return;
  }
  app::runOnGui([qqWindow, open, s = *signIn] {
    if (!open->exchange(false)) return;  // closed meanwhile: no login behind the user's back
    // The sign-in's values stay here until the login has been accepted.
    QWidget* login = app::findWindow(QStringLiteral("Tarnwick登录"));
    app::setControlText(login, QStringLiteral("编辑框1"), s.loginName);
    app::setControlText(login, QStringLiteral("编辑框2"), s.password);
    if (login) startLogin(login, s.loginName, s.password, s);
    if (qqWindow) qqWindow->close();
  });
}

}  // namespace

void installQqWindow(QWidget* window) {
  auto open = std::make_shared<std::atomic<bool>>(true);
  new CloseWatcher(window, open);
  if (auto* browser = app::control<app::WebBrowser>(window, QStringLiteral("超文本浏览框1")))
    browser->navigate(QUrl(QString::fromStdString(qqSignInPageUrl(net::hosts().mainHost))));
  if (auto* timer = app::control<QTimer>(window, QStringLiteral("时钟1"))) {
    QPointer<QWidget> self(window);
    QObject::connect(timer, &QTimer::timeout, window, [timer, self, open] {
      timer->stop();  // the first tick starts the poll; it is not restarted
      app::startWorker([self, open] { poll(self, open); });
    });
  }
}

}  // namespace tarnwick::account
