// Window registry, installers of the feature modules, page loaders, opening
// windows, and the way the program ends.
#include <QApplication>
#include <QDialog>
#include <QHash>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <mutex>
#include <vector>

#include "app/qt/catalogue.h"
#include "app/qt/log.h"
#include "app/qt/shell.h"
#include "app/qt/shell_internal.h"
#include "app/qt/web_browser.h"

namespace tarnwick::app {

namespace {

std::vector<QPointer<QWidget>>& openWindows() {
  static std::vector<QPointer<QWidget>> list;
  return list;
}

QHash<QString, std::vector<WindowInstaller>>& installers() {
  static QHash<QString, std::vector<WindowInstaller>> map;
  return map;
}

std::mutex g_loaderMutex;
QHash<QString, PageLoader>& loaders() {
  static QHash<QString, PageLoader> map;
  return map;
}

bool g_exitRequested = false;
int g_exitCode = 0;

}  // namespace

void registerWindow(QWidget* window) {
  auto& list = openWindows();
  std::erase_if(list, [](const QPointer<QWidget>& p) { return p.isNull(); });
  list.emplace_back(window);
}

QWidget* findWindow(const QString& title) {
  auto& list = openWindows();
  for (auto it = list.rbegin(); it != list.rend(); ++it)
    if (*it && (*it)->objectName() == title) return *it;
  return nullptr;
}

void addWindowInstaller(const QString& title, WindowInstaller installer) {
  installers()[title].push_back(std::move(installer));
}

void runWindowInstallers(QWidget* window) {
  if (!window) return;
  const auto it = installers().constFind(window->objectName());
  if (it == installers().constEnd()) return;
  const std::vector<WindowInstaller> copy = it.value();  // an installer may register more
  for (const WindowInstaller& install : copy) install(window);
}

void setPageLoader(const QString& pageTitle, PageLoader loader) {
  std::lock_guard lock(g_loaderMutex);
  loaders()[pageTitle] = std::move(loader);
}

void refreshPage(const QString& pageTitle) {
  PageLoader loader;
  {
    std::lock_guard lock(g_loaderMutex);
    loader = loaders().value(pageTitle);
  }
  if (loader) loader();
}

QWidget* createWindow(const QString& title, QWidget* parent) {
  if (!parent && title != mainWindowTitle()) parent = mainWindow();
  QWidget* w = buildWindow(title, nullptr, parent);
  if (!w) {
    qCWarning(lcApp) << "no window titled" << title;
    return nullptr;
  }
  w->setAttribute(Qt::WA_DeleteOnClose);
  registerWindow(w);
  runWindowInstallers(w);
  return w;
}

int openWindowModal(const QString& title, QWidget* parent) {
  if (g_exitRequested) return 0;
  QWidget* w = createWindow(title, parent);
  auto* dialog = qobject_cast<QDialog*>(w);
  if (!dialog || g_exitRequested) {
    delete w;
    return 0;
  }
  dialog->setWindowModality(Qt::ApplicationModal);
  return dialog->exec();
}

QWidget* openWindow(const QString& title, QWidget* parent) {
  QWidget* w = createWindow(title, parent);
  if (w) w->show();
  return w;
}

void navigateBrowser(QWidget* window, const ControlName& name, const QString& url) {

  if (auto* b = control<WebBrowser>(window, name)) b->navigate(QUrl(url));
}

namespace {
struct MemberHooks {
  std::function<void()> joined, leaving;
};
std::vector<MemberHooks>& memberHooks() {
  static std::vector<MemberHooks> hooks;
  return hooks;
}
}  // namespace

void addMemberHooks(std::function<void()> joined, std::function<void()> leaving) {
  memberHooks().push_back({std::move(joined), std::move(leaving)});
}

void runMemberJoinedHooks() {
  for (const MemberHooks& h : memberHooks())
    if (h.joined) h.joined();
}

void memberLeaving() {
  for (const MemberHooks& h : memberHooks())
    if (h.leaving) h.leaving();
}

void exitProgram(int code) {
  if (g_exitRequested) return;
  g_exitRequested = true;
  memberLeaving();
  g_exitCode = code;
  removeTrayIcon();
  for (const QPointer<QWidget>& w : openWindows())
    if (auto* d = qobject_cast<QDialog*>(w.data()); d && d->isVisible()) d->reject();
  // Leave the running event loops. With none running there is nothing to
  // leave, and asking would make the next loop of this thread end at once.
  if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(code);
}

bool exitRequested() { return g_exitRequested; }
int requestedExitCode() { return g_exitCode; }

void resetExitRequest() {
  g_exitRequested = false;
  g_exitCode = 0;
}

}  // namespace tarnwick::app
