#include "settings/qt/page_state.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSet>
#include <vector>

#include "app/names/main_window.h"
#include "app/qt/catalogue.h"
#include "app/qt/shell.h"
#include "settings/account_pages.h"

namespace tarnwick::settings::qt {

using namespace app::names::main;

namespace {

QString q(const char* utf8) { return QString::fromUtf8(utf8); }

const QString kLineName = QStringLiteral("读取失败提示");
const char* const kLineText = "读取失败，请检查网络连接后重新打开该页。";

// Names of main-window controls as data: the table below mixes names
// constants with the names the settings table of the core gives.
using Names = std::vector<QString>;
QString n(const app::ControlName& name) { return QString::fromUtf8(name.name); }

struct PageLine {
  app::PageName page;
  app::ControlName anchor;  // a control of the page, whose catalogue position places the line
  QRect line;               // the failure line in catalogue coordinates (from the tab control's corner)
  Names sendControls;       // disabled until the page has loaded in this session
  Names stateControls;      // back to their design texts when a session begins
  Names selectors;          // no selection until the page has loaded
};

const std::vector<PageLine>& pageLines() {
  static const std::vector<PageLine> lines = [] {
    // The lines sit in free room of each page: below the browser (and left of
    // 开通VIP), right of the security forms, below the payout form, below
    // both columns of the settings, right of the records buttons.
    std::vector<PageLine> s = {
        {kPersonalPage, kPersonalBrowser, {11, 346, 418, 20}, {}, {}, {}},
        {kSecurityPage, kSecurityHeading, {330, 322, 295, 24},
         {n(kSetQuestionButton), n(kSetPasswordButton), n(kSetEmailButton)},
         {n(kSecurityStatusLabel), n(kQuestionBox), n(kAnswerBox)}, {}},
        {kWithdrawalPage, kWithdrawalRulesBox, {23, 305, 600, 24}, {n(kSetWithdrawalButton)},
         {n(kWithdrawnLabel), n(kSetWithdrawalButton), n(kAlipayBox), n(kAlipayRepeatBox), n(kHolderBox),
          n(kPayoutEmailBox)},
         {}},
        {kSettingsPage, kModeHeading, {19, 332, 600, 24},
         {n(kSetModeButton), n(kSetAccessPasswordButton), n(kShowNameButton), n(kShowDownloadsButton),
          n(kHiddenSwitch1), n(kHiddenSwitch2), n(kForcedChargeButton), n(kRechargeButton)},
         {},
         {n(kModeSelector), n(kPermissionSelector)}},
        {kRecordsPage, kRecordList, {380, 304, 245, 40}, {}, {}, {}},
    };
    for (const auto& t : settingsTargets()) s[3].stateControls.push_back(QString::fromStdString(t.control));
    return s;
  }();
  return lines;
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

int g_session = 0;  // GUI thread only

void addLine(QWidget* main, const PageLine& entry) {
  QWidget* page = app::page(main, entry.page);
  QWidget* anchor = app::control<QWidget>(main, entry.anchor);
  const app::ControlDef* row = app::catalogueRow(QString::fromUtf8(entry.anchor.window), n(entry.anchor));
  if (!page || !anchor || !row) return;
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

const PageLine* lineOf(const QString& title) {
  for (const PageLine& entry : pageLines())
    if (title == q(entry.page.title)) return &entry;
  return nullptr;
}

QLabel* loadFailureLine(QWidget* main, const QString& title) {
  const PageLine* entry = lineOf(title);
  QWidget* page = entry ? app::page(main, entry->page) : nullptr;
  return page ? page->findChild<QLabel*>(kLineName, Qt::FindDirectChildrenOnly) : nullptr;
}

void setLine(const QString& title, bool shown) {
  if (QLabel* line = loadFailureLine(app::mainWindow(), title)) line->setVisible(shown);
}

std::string designTextOf(const QString& control) {
  return app::toGbk(app::designText(app::mainWindowTitle(), control));
}

// Every page of main as before its first load.
void resetPages(QWidget* main) {
  PageStates* s = PageStates::of(main);
  if (!s) return;
  s->forgetLoads();
  for (const PageLine& entry : pageLines()) {
    if (QLabel* line = loadFailureLine(main, q(entry.page.title))) line->hide();
    for (const QString& control : entry.stateControls) {
      app::setControlText(main, control, designTextOf(control));
      if (auto* edit = qobject_cast<QLineEdit*>(app::control<QWidget>(main, control))) edit->setReadOnly(false);
    }
    for (const QString& name : entry.selectors)
      if (auto* box = app::control<QComboBox>(main, name)) box->setCurrentIndex(-1);
  }
  s->refresh();
}

}  // namespace

void setBoxLocked(const app::ControlName& box, bool locked) {
  auto* edit = app::control<QLineEdit>(app::mainWindow(), box);
  if (!edit || edit->isReadOnly() == locked) return;
  if (!locked) app::setControlText(app::mainWindow(), box, designTextOf(n(box)));
  edit->setReadOnly(locked);
}

void installPageStates(QWidget* main) {
  auto* s = new PageStates(main);
  for (const PageLine& entry : pageLines()) {
    addLine(main, entry);
    for (const QString& name : entry.sendControls)
      if (QWidget* w = app::control<QWidget>(main, name)) s->watch(w, q(entry.page.title));
  }
  resetPages(main);
}

void beginSession() {
  ++g_session;
  resetPages(app::mainWindow());
}

int sessionNumber() { return g_session; }

bool loadsMemberState(const QString& title) { return lineOf(title) != nullptr; }

void pageLoaded(const QString& title) {
  setLine(title, false);
  if (PageStates* s = states()) {
    s->markLoaded(title);
    s->refresh();
  }
}

void pageLoadFailed(const QString& title) { setLine(title, true); }

void setLocked(const app::ControlName& control, bool locked) {
  if (PageStates* s = states()) {
    s->setLocked(n(control), locked);
    s->refresh();
  }
}

QLabel* loadFailureLine(const QString& title) { return loadFailureLine(app::mainWindow(), title); }

}  // namespace tarnwick::settings::qt

#include "page_state.moc"
