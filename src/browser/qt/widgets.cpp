#include "browser/qt/widgets.h"

#include <QAbstractButton>
#include <QCursor>
#include <QEvent>
#include <QMouseEvent>
#include <QSignalBlocker>

#include "app/qt/shell.h"

namespace tarnwick::browser::qt {

namespace {

// Pops a menu up on a right-button press (or release) over a view.
class MenuPopper : public QObject {
 public:
  MenuPopper(QObject* parent, QString menu, bool onRelease, std::function<bool()> before)
      : QObject(parent), m_menu(std::move(menu)), m_onRelease(onRelease), m_before(std::move(before)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const auto wanted = m_onRelease ? QEvent::MouseButtonRelease : QEvent::MouseButtonPress;
    if (event->type() != wanted || static_cast<QMouseEvent*>(event)->button() != Qt::RightButton)
      return QObject::eventFilter(watched, event);
    const bool swallow = m_before && m_before();
    QWidget* window = static_cast<QWidget*>(parent())->window();
    if (QMenu* menu = window->findChild<QMenu*>(m_menu)) menu->popup(QCursor::pos());
    return swallow;
  }

 private:
  QString m_menu;
  bool m_onRelease;
  std::function<bool()> m_before;
};

}  // namespace

std::int32_t itemId(const QListWidgetItem* item) { return item ? item->data(kIdRole).toInt() : 0; }
std::int32_t itemId(const QTreeWidgetItem* item) { return item ? item->data(0, kIdRole).toInt() : 0; }
std::int32_t comboId(const QComboBox* combo, int index) {
  return combo && index >= 0 && index < combo->count() ? combo->itemData(index, kIdRole).toInt() : 0;
}

const BrowserControls& browserControls() {
  static QPointer<QWidget> owner;
  static BrowserControls controls;
  QWidget* main = app::mainWindow();
  if (owner != main || !main) {
    owner = main;
    controls = {listBox(main, "列表框2"), listView(main, "超级列表框5"), listView(main, "超级列表框1"),
                listBox(main, "列表框3"), comboBox(main, "组合框1")};
    const bool complete = controls.folders && controls.folderView && controls.files && controls.fileNames &&
                          controls.pages;
    Q_ASSERT_X(!main || complete, "browserControls", "a control of the page 文件 is missing");
    if (main && !complete) qCritical("browser: a control of the page 文件 is missing");
  }
  return controls;
}

QListWidget* listBox(QWidget* window, const char* name) {
  return app::control<QListWidget>(window, QString::fromUtf8(name));
}
QTreeWidget* listView(QWidget* window, const char* name) {
  return app::control<QTreeWidget>(window, QString::fromUtf8(name));
}
QComboBox* comboBox(QWidget* window, const char* name) {
  return app::control<QComboBox>(window, QString::fromUtf8(name));
}

QAction* menuAction(QWidget* window, const char* menu, const char* caption) {
  QMenu* m = app::control<QMenu>(window, QString::fromUtf8(menu));
  return m ? m->findChild<QAction*>(QString::fromUtf8(caption)) : nullptr;
}

void onMenu(QWidget* window, const char* menu, const char* caption, std::function<void()> f) {
  if (QAction* a = menuAction(window, menu, caption)) QObject::connect(a, &QAction::triggered, a, [f] { f(); });
}

void onClick(QWidget* window, const char* name, std::function<void()> f) {
  if (auto* b = app::control<QAbstractButton>(window, QString::fromUtf8(name)))
    QObject::connect(b, &QAbstractButton::clicked, b, [f = std::move(f)] { f(); });
}

void popupMenuOn(QAbstractItemView* widget, const char* menu, bool onRelease, std::function<bool()> before) {
  if (!widget) return;
  widget->viewport()->installEventFilter(
      new MenuPopper(widget, QString::fromUtf8(menu), onRelease, std::move(before)));
}

void copyFolderItems(QComboBox* combo, int select) {
  QListWidget* folders = browserControls().folders;
  if (!combo || !folders) return;
  const QSignalBlocker block(combo);
  for (int i = 0; i < folders->count(); ++i)
    combo->addItem(folders->item(i)->text(), folders->item(i)->data(kIdRole));
  combo->setCurrentIndex(select >= 0 && select < combo->count() ? select : -1);
}

void sendAsync(const Request& request, QPointer<QObject> guard, std::function<void(const std::string&)> then) {
  if (!guard) return;
  net::JobRequest what = request.method == "POST" ? net::JobRequest::post(request.url, request.body)
                                                   : net::JobRequest::fetch(request.url);
  app::WindowJobs::of(guard)->request(std::move(what), nullptr,
                                      [then](const net::RequestJobResult& r) { then(r.reply); });
}

void runThenOnGui(std::function<void()> job, QPointer<QObject> guard, std::function<void()> done) {
  if (!guard) return;
  app::WindowJobs::of(guard)->run(std::move(job), nullptr, std::move(done));
}

}  // namespace tarnwick::browser::qt
