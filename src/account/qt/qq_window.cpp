// QQ sign-in: the service's sign-in page in the window's browser, and a poll
// of "/qdlxx.php" once a second (after the first tick of 时钟1) until the
// service reports the signed-in member or the window is closed.
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <memory>

#include "account/login.h"
#include "account/qt/account_module.h"
#include "account/qt/login_flow.h"
#include "app/names/dialogs.h"
#include "app/qt/shell.h"
#include "app/qt/web_browser.h"
#include "app/session.h"
#include "net/hosts.h"

namespace tarnwick::account {
namespace {

// Clears the window's "open" flag when the window is closed or destroyed, so
// the poll ends with the window (hidden or deleted).
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

// One poll, as a job of the QQ window: a signed-in reply logs in, anything
// else polls again a second later, as long as the window is open.
void poll(QWidget* qqWindow, std::shared_ptr<std::atomic<bool>> open) {
  if (!open->load()) return;
  QPointer<QWidget> self(qqWindow);
  app::WindowJobs::of(qqWindow)->request(
      net::JobRequest::fetch(qqPollUrl(net::hosts().mainHost)), nullptr, [self, open](const net::RequestJobResult& r) {
        if (!self || !open->load()) return;  // closed meanwhile: no login behind the user's back
        std::optional<QqSignIn> signIn = parseQqPoll(r.reply);
        if (!signIn) {
          QTimer::singleShot(1000, self, [self, open] { poll(self, open); });
          return;
        }
        open->store(false);
        // The sign-in's values stay here until the login has been accepted.
        fillLoginBoxes(signIn->loginName, signIn->password);
        if (QWidget* login = loginWindow()) startLogin(login, signIn->loginName, signIn->password, *signIn);
        self->close();
      });
}

}  // namespace

void installQqWindow(QWidget* window) {
  auto open = std::make_shared<std::atomic<bool>>(true);
  new CloseWatcher(window, open);
  if (auto* browser = app::control<app::WebBrowser>(window, app::names::qq::kBrowser))
    browser->navigate(QUrl(QString::fromStdString(qqSignInPageUrl(net::hosts().mainHost))));
  if (auto* timer = app::control<QTimer>(window, app::names::qq::kPollTimer)) {
    QObject::connect(timer, &QTimer::timeout, window, [timer, window, open] {
      timer->stop();  // the first tick starts the poll; it is not restarted
      poll(window, open);
    });
  }
}

}  // namespace tarnwick::account
