// The windows built from the catalogue: every row becomes a widget of its
// kind, every name the code binds is in the catalogue, a missing name is
// reported, and the geometry and hidden slots the code relies on.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <memory>

#include "app/names/dialogs.h"
#include "app/names/main_window.h"
#include "app/qt/catalogue.h"
#include "app/qt/shell.h"
#include "app/qt/web_browser.h"
#include "browser/scrape_patterns.h"
#include "net/text.h"

using namespace tarnwick::app;

namespace {

const QString kMain = QString::fromUtf8(names::main::kTitle);

QString u8(const char* s) { return QString::fromUtf8(s); }

// The Qt class the builder makes for a kind.
const char* classOf(const ControlDef& d) {
  switch (d.kind) {
    case Kind::Tab: return "QTabWidget";
    case Kind::Group: return "QGroupBox";
    case Kind::Edit: return "QLineEdit";
    case Kind::MultiEdit: return "QPlainTextEdit";
    case Kind::Label:
    case Kind::Picture: return "QLabel";
    case Kind::Button: return "QPushButton";
    case Kind::Check: return "QCheckBox";
    case Kind::Combo: return "QComboBox";
    case Kind::ListBox: return "QListWidget";
    case Kind::ListView: return "QTreeWidget";
    case Kind::ModelView: return "QTreeView";
    case Kind::Progress: return "QProgressBar";
    case Kind::Spin: return "QSpinBox";
    case Kind::Link: return "tarnwick::app::HyperlinkLabel";
    case Kind::Browser: return "tarnwick::app::WebBrowser";
    case Kind::Timer: return "QTimer";
    case Kind::Menu: return "QMenu";
    case Kind::FileDialog: return "QWidget";
    case Kind::Window: break;
  }
  return "";
}

// The object a row made: timers and menus are not widgets, and the page
// 搜索 shares its name with the menu 搜索.
QObject* objectOf(QWidget* window, const ControlDef& d) {
  const QString name = u8(d.name);
  if (d.kind == Kind::Timer) return window->findChild<QTimer*>(name);
  if (d.kind == Kind::Menu) return window->findChild<QMenu*>(name);
  for (QWidget* w : window->findChildren<QWidget*>(name))
    if (!qobject_cast<QMenu*>(w) && QLatin1String(w->metaObject()->className()) == QLatin1String(classOf(d)))
      return w;
  return nullptr;
}

QString readCaption(QWidget* w) {
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* e = qobject_cast<QPlainTextEdit*>(w)) return e->toPlainText();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  return {};
}

}  // namespace

class CatalogueTest : public QObject {
  Q_OBJECT
  std::unique_ptr<QWidget> m_main;
  std::map<QString, std::unique_ptr<QWidget>> m_dialogs;

  QWidget* window(const QString& title) {
    if (title == "main") return m_main.get();
    auto& slot = m_dialogs[title];
    if (!slot) slot.reset(buildWindow(title));
    return slot.get();
  }

 private slots:
  void initTestCase() {
    m_main = std::make_unique<QWidget>();
    QVERIFY(buildWindow(kMain, m_main.get()) == m_main.get());
  }

  void everyWindowIsBuiltUnderItsTitle() {
    QCOMPARE(catalogueWindowTitles().size(), 14);
    QCOMPARE(catalogueWindowTitles().first(), kMain);
    for (const QString& title : catalogueWindowTitles()) {
      QWidget* w = window(title == kMain ? QStringLiteral("main") : title);
      QVERIFY2(w, qPrintable(title));
      QCOMPARE(w->objectName(), title);
      QCOMPARE(w->windowTitle(), title);
    }
    QVERIFY(buildWindow(QStringLiteral("没有这个窗口")) == nullptr);
  }

  // Every named row becomes an object of its kind's class, under its name,
  // hidden as flagged, with its caption, items or columns.
  void everyRowBuildsItsKind() {
    int rows = 0;
    for (const ControlDef& d : catalogue()) {
      if (d.kind == Kind::Window || !*d.name) continue;
      ++rows;
      const QString where = u8(d.window) + u'/' + u8(d.name);
      QWidget* w = window(u8(d.window) == kMain ? QStringLiteral("main") : u8(d.window));
      QObject* made = objectOf(w, d);
      QVERIFY2(made, qPrintable(where));
      const QStringList items = *d.items ? u8(d.items).split(u'\n') : QStringList();
      if (auto* widget = qobject_cast<QWidget*>(made); widget && d.kind != Kind::Menu)
        QVERIFY2(widget->isVisibleTo(widget->parentWidget()) == !(d.flags & Hidden), qPrintable(where));
      switch (d.kind) {
        case Kind::Label:
        case Kind::Button:
        case Kind::Check:
        case Kind::Edit:
          QCOMPARE(readCaption(static_cast<QWidget*>(made)), designText(u8(d.window), u8(d.name)));
          break;
        case Kind::Combo:
          QCOMPARE(static_cast<QComboBox*>(made)->count(), items.size());
          break;
        case Kind::Spin: {
          auto* s = static_cast<QSpinBox*>(made);
          QVERIFY2(items.size() >= 2, qPrintable(where));
          QCOMPARE(s->minimum(), items[0].toInt());
          QCOMPARE(s->maximum(), items[1].toInt());
          QCOMPARE(s->value(), u8(d.text).toInt());
          QVERIFY2(s->value() >= s->minimum() && s->value() <= s->maximum(), qPrintable(where));
          QCOMPARE(s->suffix(), items.value(2));
          QCOMPARE(s->specialValueText(), items.value(3));
          break;
        }
        case Kind::ListView:
        case Kind::ModelView: {
          auto* t = static_cast<QTreeView*>(made);
          QCOMPARE(t->model()->columnCount(), items.size());
          for (int i = 0; i < items.size(); ++i) {
            QCOMPARE(t->model()->headerData(i, Qt::Horizontal).toString(), items[i].section(u'=', 0, 0));
            QCOMPARE(t->columnWidth(i), items[i].section(u'=', 1, 1).toInt());
          }
          break;
        }
        case Kind::Tab: {
          auto* t = static_cast<QTabWidget*>(made);
          QCOMPARE(t->count(), items.size());
          for (int i = 0; i < items.size(); ++i) QCOMPARE(t->widget(i)->objectName(), items[i]);
          break;
        }
        case Kind::Menu: {
          const QList<QAction*> actions = static_cast<QMenu*>(made)->actions();
          QCOMPARE(actions.size(), items.size());
          for (int i = 0; i < items.size(); ++i) QCOMPARE(actions[i]->objectName(), items[i]);
          break;
        }
        case Kind::Timer:
          QCOMPARE(static_cast<QTimer*>(made)->interval(), d.w);
          QCOMPARE(static_cast<QTimer*>(made)->isActive(), d.w > 0);
          break;
        default:
          break;
      }
    }
    QVERIFY(rows > 200);
  }

  // Every name the code binds or the core tables read (the names headers) is
  // in the catalogue with the kind the code expects: a control of its window,
  // a page of its tab control, a column caption at its index, an item of its
  // menu.
  void everyBoundNameIsInTheCatalogue() {
    QVERIFY(names::all().size() > 200);
    QSet<QString> seen;
    for (const names::Record& r : names::all()) {
      const QString where = u8(r.control.window) + u'/' + u8(r.control.name) + u'/' + u8(r.item ? r.item : "");
      QVERIFY2(!seen.contains(where), qPrintable(where));  // each name declared once
      seen.insert(where);

      const ControlDef* row = catalogueRow(u8(r.control.window), u8(r.control.name));
      QVERIFY2(row, qPrintable(where));
      QVERIFY2(row->kind == r.control.kind, qPrintable(where));
      QWidget* w = window(u8(r.control.window) == kMain ? QStringLiteral("main") : u8(r.control.window));
      QVERIFY2(objectOf(w, *row), qPrintable(where));
      if (!r.item) continue;
      const QStringList items = u8(row->items).split(u'\n');
      if (r.column >= 0) {
        QVERIFY2(r.column < items.size() && items[r.column].section(u'=', 0, 0) == u8(r.item), qPrintable(where));
      } else {
        QVERIFY2(items.contains(u8(r.item)), qPrintable(where));
        if (row->kind == Kind::Tab) QVERIFY2(page(w, {r.control, r.item}), qPrintable(where));
        if (row->kind == Kind::Menu) QVERIFY2(menuAction(w, {r.control, r.item}), qPrintable(where));
      }
    }
  }

  // A name the window lacks is reported, whichever helper looks it up; a
  // window that is gone is not a fault.
  void aMissingNameIsReported() {
    QStringList missing;
    MissingNameHandler before =
        setMissingNameHandler([&](const QString& window, const QString& name) { missing << window + u'/' + name; });
    QWidget* main = m_main.get();
    const ControlName typo{names::main::kTitle, "上传按扭", Kind::Button};
    QVERIFY(!control(main, typo));
    onClick(main, typo, [] {});
    QVERIFY(!menuAction(main, {names::main::kFileMenu, "删除选中文件们"}));
    QVERIFY(!page(main, {names::main::kPages, "文件们"}));
    QVERIFY(!control<QLineEdit>(main, names::main::kUploadButton));  // there, but not of that class
    QVERIFY(!control(nullptr, typo));
    setMissingNameHandler(std::move(before));
    const QStringList expected = {kMain + u8("/上传按扭"), kMain + u8("/上传按扭"), kMain + u8("/删除选中文件们"),
                                  kMain + u8("/文件们"), kMain + u8("/上传按钮")};
    QCOMPARE(missing, expected);
  }

  void hiddenSlotKeepsExactBytesIncludingCarriageReturn() {
    const std::string pattern = controlText(m_main.get(), names::main::kFileRowPattern);
    QVERIFY(!pattern.empty());
    QCOMPARE(pattern.back(), '\r');
    QCOMPARE(pattern, tarnwick::browser::patterns::fileRow());
    // A hidden slot is written and read like a visible box, long texts included.
    const std::string page(100000, 'x');
    setControlText(m_main.get(), QStringLiteral("编辑框39"), page);
    QCOMPARE(controlText(m_main.get(), QStringLiteral("编辑框39")).size(), page.size());
  }

  void geometryOfSampledControls() {
    const std::pair<const char*, QRect> samples[] = {
        {"选择夹1", {13, 17, 635, 370}}, {"超级列表框1", {186, 51, 434, 276}}, {"组合框1", {254, 335, 48, 20}},
        {"按钮28", {366, 275, 101, 28}}, {"超文本浏览框2", {11, 31, 612, 320}},
    };
    // Positions on a tab page count from the tab control's own corner, tab row
    // included, so that a page's controls all fit inside the control.
    m_main->show();
    QCoreApplication::processEvents();
    for (const auto& [name, rect] : samples) {
      QWidget* w = control(m_main.get(), QString::fromUtf8(name));
      // Bring the control's pages to the front so their tab controls lay out.
      for (QWidget* p = w; p && p != m_main.get(); p = p->parentWidget())
        if (auto* t = qobject_cast<QTabWidget*>(p->parentWidget() ? p->parentWidget()->parentWidget() : nullptr))
          t->setCurrentWidget(p);
      QCoreApplication::processEvents();
      QWidget* tabs = w->parentWidget();
      while (tabs && tabs != m_main.get() && !qobject_cast<QTabWidget*>(tabs)) tabs = tabs->parentWidget();
      QCOMPARE(QRect(w->mapTo(tabs, QPoint(0, 0)), w->size()), rect);
      if (tabs != m_main.get()) QVERIFY(tabs->rect().contains(QRect(w->mapTo(tabs, QPoint(0, 0)), w->size())));
    }
    m_main->hide();
    QCOMPARE(control(window("Tarnwick登录"), QStringLiteral("按钮3"))->geometry(), QRect(168, 160, 96, 32));
  }

  void mainWindowNamesAreUnique() {
    // Every named widget of the main window is found once; the only shared
    // name is the page 搜索 and the popup menu 搜索, which differ in type.
    QMap<QString, int> seen;
    for (QWidget* w : m_main->findChildren<QWidget*>()) {
      // Qt's own inner widgets carry ASCII names; catalogue names do not.
      if (w->objectName().isEmpty() || w->objectName().at(0).unicode() < 0x80) continue;
      if (qobject_cast<QMenu*>(w) && w->objectName() == QStringLiteral("搜索")) continue;
      ++seen[w->objectName()];
    }
    for (auto it = seen.cbegin(); it != seen.cend(); ++it) QVERIFY2(it.value() == 1, qPrintable(it.key()));
    QVERIFY(seen.size() > 150);  // the whole catalogue was walked
  }

  void termsTextOpensAndClosesAsWritten() {
    const QString terms = readCaption(control(window("使用条款"), QStringLiteral("编辑框1")));
    QVERIFY(terms.startsWith(QStringLiteral("欢迎来到Tarnwick免费在线文件分享服务, 此为Tarnwick提供。")));
    QVERIFY(terms.endsWith(QStringLiteral("请不要打破以上条款，感谢您。")));
    for (const char* section : {"1. 公司规定", "2. 合理使用", "3. 免责声明", "4. 链结第三方网站", "5. 会员帐号、密码及安全",
                                "6. 服务说明"})
      QVERIFY2(terms.contains(QString::fromUtf8(section)), section);
  }

  void webViewIsNotCreatedByTheBuilder() {
    auto* b = control<WebBrowser>(m_main.get(), QStringLiteral("超文本浏览框1"));
    QVERIFY(b && !b->hasView());
  }
};

QTEST_MAIN(CatalogueTest)
#include "catalogue_test.moc"
