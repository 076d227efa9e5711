#include "settings/qt/page_state.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSet>
#include <QTabWidget>
#include <vector>

#include "app/qt/catalogue.h"
#include "app/qt/shell.h"
#include "settings/account_pages.h"

namespace tarnwick::settings::qt {

namespace {

QString q(const char* utf8) { return QString::fromUtf8(utf8); }

const QString kLineName = QStringLiteral("读取失败提示");
const char* const kLineText = "读取失败，请检查网络连接后重新打开该页。";

struct PageLine {
  const char* title;
  const char* anchor;  // a control of the page, whose catalogue position places the line
  QRect line;          // the failure line in catalogue coordinates (from the tab control's corner)
  std::vector<std::string> sendControls;   // disabled until the page has loaded in this session
  std::vector<std::string> stateControls;  // back to their design texts when a session begins
  std::vector<std::string> selectors;      // no selection until the page has loaded
};

const std::vector<PageLine>& pageLines() {
  static const std::vector<PageLine> lines = [] {
    // The lines sit in free room of each page: below the browser (and left of
    // 开通VIP), right of the security forms, below the payout form, below
    // both columns of the settings, right of the records buttons.
    std::vector<PageLine> s = {
        {"个人", "超文本浏览框2", {11, 346, 418, 20}, {}, {}, {}},
        {"安全", "标签19", {330, 322, 295, 24}, {"按钮8", "按钮18", "按钮31"}, {"标签21", "编辑框6", "编辑框7"}, {}},
        {"提现", "编辑框9", {23, 305, 600, 24}, {"按钮9"},
         {"标签28", "按钮9", "编辑框10", "编辑框11", "编辑框12", "编辑框13"}, {}},
        {"设置", "标签39", {19, 332, 600, 24},
         {"按钮22", "按钮15", "按钮13", "按钮14", "按钮11", "按钮12", "按钮19", "按钮29"}, {},
         {"组合框2", "组合框7"}},
        {"记录", "列表框5", {380, 304, 245, 40}, {}, {}, {}},
    };
    for (const auto& t : settingsTargets()) s[3].stateControls.push_back(t.control);
    return s;
  }();
  return lines;
}

const app::ControlDef* catalogueRow(const QString& name) {
  const QByteArray key = name.toUtf8();
  const QByteArray window = app::mainWindowTitle().toUtf8();
  for (const app::ControlDef& d : app::catalogue())
    if (window == d.window && key == d.name) return &d;
  return nullptr;
}

// The send controls of pages that have not loaded are held disabled. A job
// disables its control while it runs and enables it again when it is done;
// on a loaded page that stands, on a page that has not loaded (a session
// began while the job ran) the gate takes the control back at once.
class PageStates : public QObject {
  Q_OBJECT
 public:
  explicit PageStates(QWidget* main) : QObject(main), m_main(main) {
    setObjectName(QStringLiteral("tarnwick-page-states"));
  }

  static PageStates* of(QWidget* main) {
    return main ? main->findChild<PageStates*>(QStringLiteral("tarnwick-page-states"), Qt::FindDirectChildrenOnly)
                : nullptr;
  }

  void watch(QWidget* control, const QString& page) {
    m_pageOf.insert(control->objectName(), page);
    control->installEventFilter(this);
  }

  void markLoaded(const QString& page) { m_loaded.insert(page); }
  void forgetLoads() {
    m_loaded.clear();
    m_locked.clear();
  }
  void setLocked(const QString& control, bool locked) {
    if (locked) m_locked.insert(control);
    else m_locked.remove(control);
  }

  // Every watched control enabled or held as its page allows.
  void refresh() {
    for (auto it = m_pageOf.cbegin(); it != m_pageOf.cend(); ++it) {
      QWidget* w = app::control<QWidget>(m_main, it.key());
      if (!w) continue;
      if (!allowed(it.key())) {
        // One that a running job disabled is taken back when the job gives it up.
        if (!w->testAttribute(Qt::WA_ForceDisabled)) hold(w);
      } else if (m_held.remove(it.key())) {
        w->setEnabled(true);
      }
    }
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::EnabledChange) {
      auto* w = static_cast<QWidget*>(watched);
      if (!w->testAttribute(Qt::WA_ForceDisabled) && !allowed(w->objectName())) hold(w);
    }
    return false;
  }

 private:
  bool allowed(const QString& control) const {
    return m_loaded.contains(m_pageOf.value(control)) && !m_locked.contains(control);
  }
  void hold(QWidget* w) {
    m_held.insert(w->objectName());
    w->setEnabled(false);
  }

  QWidget* m_main;
  QHash<QString, QString> m_pageOf;  // send control -> page title
  QSet<QString> m_loaded;            // pages loaded in this session
  QSet<QString> m_locked;            // send controls the shown state locks
  QSet<QString> m_held;              // send controls this gate disabled
};

PageStates* states() { return PageStates::of(app::mainWindow()); }

QWidget* pageWidget(QWidget* main, const QString& title) {
  auto* tabs = app::control<QTabWidget>(main, QStringLiteral("选择夹1"));
  if (!tabs) return nullptr;
  for (int i = 0; i < tabs->count(); ++i)
    if (tabs->tabText(i) == title) return tabs->widget(i);
  return nullptr;
}

int g_session = 0;  // GUI thread only

// A name of the table that the window lacks is a fault of the table.
bool present(const void* found, const char* name) {
  Q_ASSERT_X(found, "page states", name);
  if (!found) qCritical("settings: no control %s for the page states", name);
  return found;
}

void addLine(QWidget* main, const PageLine& entry) {
  QWidget* page = pageWidget(main, q(entry.title));
  QWidget* anchor = app::control<QWidget>(main, q(entry.anchor));
  const app::ControlDef* row = catalogueRow(q(entry.anchor));
  if (!present(page, entry.title) || !present(anchor, entry.anchor) || !present(row, entry.anchor)) return;
  // The page starts where the tab control puts it; the anchor's catalogue
  // position less its place on the page gives that corner.
  const QPoint origin = QPoint(row->x, row->y) - anchor->pos();
  auto* line = new QLabel(q(kLineText), page);
  line->setObjectName(kLineName);
  line->setTextFormat(Qt::PlainText);
  line->setWordWrap(true);
  line->setGeometry(entry.line.translated(-origin));
  line->hide();
}

QLabel* loadFailureLine(QWidget* main, const QString& title) {
  QWidget* page = pageWidget(main, title);
  return page ? page->findChild<QLabel*>(kLineName, Qt::FindDirectChildrenOnly) : nullptr;
}

void setLine(const QString& title, bool shown) {
  if (QLabel* line = loadFailureLine(app::mainWindow(), title)) line->setVisible(shown);
}

// Every page of main as before its first load.
void resetPages(QWidget* main) {
  PageStates* s = PageStates::of(main);
  if (!s) return;
  s->forgetLoads();
  for (const PageLine& entry : pageLines()) {
    if (QLabel* line = loadFailureLine(main, q(entry.title))) line->hide();
    for (const auto& name : entry.stateControls) {
      const QString control = QString::fromStdString(name);
      app::setControlText(main, control, designText(name.c_str()));
      if (auto* edit = app::control<QLineEdit>(main, control)) edit->setReadOnly(false);
    }
    for (const auto& name : entry.selectors)
      if (auto* box = app::control<QComboBox>(main, QString::fromStdString(name))) box->setCurrentIndex(-1);
  }
  s->refresh();
}

}  // namespace

std::string designText(const char* control) {
  const app::ControlDef* row = catalogueRow(q(control));
  return row ? app::toGbk(q(row->text)) : std::string();
}

void setBoxLocked(const char* box, bool locked) {
  auto* edit = app::control<QLineEdit>(app::mainWindow(), q(box));
  if (!edit || edit->isReadOnly() == locked) return;
  if (!locked) app::setControlText(app::mainWindow(), q(box), designText(box));
  edit->setReadOnly(locked);
}

void installPageStates(QWidget* main) {
  auto* s = new PageStates(main);
  for (const PageLine& entry : pageLines()) {
    addLine(main, entry);
    for (const auto& name : entry.sendControls) {
      QWidget* w = app::control<QWidget>(main, QString::fromStdString(name));
      if (present(w, name.c_str())) s->watch(w, q(entry.title));
    }
  }
  resetPages(main);
}

void beginSession() {
  ++g_session;
  resetPages(app::mainWindow());
}

int sessionNumber() { return g_session; }

bool loadsMemberState(const QString& title) {
  for (const PageLine& entry : pageLines())
    if (title == q(entry.title)) return true;
  return false;
}

void pageLoaded(const QString& title) {
  setLine(title, false);
  if (PageStates* s = states()) {
    s->markLoaded(title);
    s->refresh();
  }
}

void pageLoadFailed(const QString& title) { setLine(title, true); }

void setLocked(const char* control, bool locked) {
  if (PageStates* s = states()) {
    s->setLocked(q(control), locked);
    s->refresh();
  }
}

QLabel* loadFailureLine(const QString& title) { return loadFailureLine(app::mainWindow(), title); }

}  // namespace tarnwick::settings::qt

#include "page_state.moc"
