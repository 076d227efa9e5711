// The builder: turns the rows of one window into widgets.
#include "app/qt/catalogue.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <climits>
#include <vector>

#include "app/names/name.h"
#include "app/qt/catalogue_rows.h"
#include "app/qt/hyperlink_label.h"
#include "app/qt/web_browser.h"
#include "net/hosts.h"
#include "net/http.h"

namespace tarnwick::app {

namespace {

std::vector<ControlDef> joinRows() {
  std::vector<ControlDef> rows;
  rows.insert(rows.end(), kMainRows, kMainRows + kMainRowCount);
  rows.insert(rows.end(), kMainHiddenRows, kMainHiddenRows + kMainHiddenRowCount);
  rows.insert(rows.end(), kDialogRows, kDialogRows + kDialogRowCount);
  return rows;
}

QString u8(const char* s) { return QString::fromUtf8(s); }

// Texts that depend on the configured hosts.
QString expand(const char* text) {
  QString t = u8(text);
  if (t.contains(u'{')) {
    const std::string& main = net::hosts().mainHost;
    t.replace(QStringLiteral("{MainHostName}"), QString::fromStdString(net::urlHost(main)));
    t.replace(QStringLiteral("{MainHost}"), QString::fromStdString(main));
  }
  return t;
}

QStringList items(const char* s) {
  const QString all = u8(s);
  return all.isEmpty() ? QStringList() : all.split(u'\n');
}

QWidget* findContainer(QWidget* window, const QString& parent) {
  if (parent.isEmpty()) return window;
  // Pages of tab controls first (a menu may carry a page's name), then group boxes.
  for (QTabWidget* tabs : window->findChildren<QTabWidget*>()) {
    for (int i = 0; i < tabs->count(); ++i)
      if (tabs->tabText(i) == parent) return tabs->widget(i);
  }
  if (auto* g = window->findChild<QGroupBox*>(parent)) return g;
  return window;
}

// Positions on a tab page are given relative to the tab control's own corner,
// tab row included; a Qt page starts below the tab row and inside the pane's
// frame, so the page's controls move up and left by that much (never past 0).
QPoint pageOrigin(QWidget* container) {
  QWidget* stack = container->parentWidget();
  auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
  if (!tabs) return {};
  // Where the tab control will put its pages once shown: the style's contents
  // rectangle for a tab row of the bar's preferred size.
  QStyleOptionTabWidgetFrame option;
  option.initFrom(tabs);
  option.rect = QRect(QPoint(0, 0), tabs->size());
  option.shape = tabs->tabBar()->shape();
  option.tabBarSize = tabs->tabBar()->sizeHint();
  option.lineWidth = tabs->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, tabs);
  option.tabBarRect = QRect(QPoint(0, 0), option.tabBarSize);
  return tabs->style()->subElementRect(QStyle::SE_TabWidgetTabContents, &option, tabs).topLeft();
}

QWidget* makeWidget(const ControlDef& d, QWidget* container, QWidget* window) {
  const QString text = expand(d.text);
  QWidget* w = nullptr;
  switch (d.kind) {
    case Kind::Window:
    case Kind::Timer:
    case Kind::Menu:
      return nullptr;
    case Kind::Tab: {
      auto* tabs = new QTabWidget(container);
      for (const QString& page : items(d.items)) {
        auto* p = new QWidget;
        p->setObjectName(page);
        tabs->addTab(p, page);
      }
      w = tabs;
      break;
    }
    case Kind::Group: {
      auto* g = new QGroupBox(text, container);
      w = g;
      break;
    }
    case Kind::Edit: {
      auto* e = new QLineEdit(container);
      e->setMaxLength(INT_MAX);
      e->setText(text);
      if (d.flags & Password) e->setEchoMode(QLineEdit::Password);
      if (d.flags & ReadOnly) e->setReadOnly(true);
      w = e;
      break;
    }
    case Kind::MultiEdit: {
      auto* e = new QPlainTextEdit(container);
      e->setPlainText(text);
      if (d.flags & ReadOnly) e->setReadOnly(true);
      w = e;
      break;
    }
    case Kind::Label:
    case Kind::Picture: {
      auto* l = new QLabel(text, container);
      l->setTextFormat(Qt::PlainText);
      l->setWordWrap(d.h > 30);
      w = l;
      break;
    }
    case Kind::Button:
      w = new QPushButton(text, container);
      break;
    case Kind::Check:
      w = new QCheckBox(text, container);
      break;
    case Kind::Combo: {
      auto* c = new QComboBox(container);
      c->addItems(items(d.items));
      w = c;
      break;
    }
    case Kind::ListBox:
      w = new QListWidget(container);
      break;
    case Kind::ListView:
    case Kind::ModelView: {
      QStringList captions;
      QList<int> widths;
      for (const QString& col : items(d.items)) {
        captions << col.section(u'=', 0, 0);
        widths << col.section(u'=', 1, 1).toInt();
      }
      QTreeView* t = nullptr;
      if (d.kind == Kind::ListView) {
        auto* list = new QTreeWidget(container);
        list->setRootIsDecorated(false);
        list->setColumnCount(captions.size());
        list->setHeaderLabels(captions);
        t = list;
      } else {
        // The captions wait in a model of no rows for the model the code
        // attaches (which takes them over).
        t = new QTreeView(container);
        auto* columns = new QStandardItemModel(0, static_cast<int>(captions.size()), t);
        columns->setHorizontalHeaderLabels(captions);
        t->setModel(columns);
      }
      t->setUniformRowHeights(true);
      t->setSelectionMode(QAbstractItemView::ExtendedSelection);
      for (int i = 0; i < widths.size(); ++i)
        if (widths[i] > 0) t->setColumnWidth(i, widths[i]);
      w = t;
      break;
    }
    case Kind::Progress: {
      auto* p = new QProgressBar(container);
      p->setRange(0, 100);
      p->setValue(0);
      w = p;
      break;
    }
    case Kind::Spin: {
      auto* s = new QSpinBox(container);
      const QStringList range = items(d.items);
      s->setRange(range.value(0).toInt(), range.value(1).toInt());
      s->setSuffix(range.value(2));
      s->setSpecialValueText(range.value(3));
      s->setValue(text.toInt());
      w = s;
      break;
    }
    case Kind::Link: {
      auto* l = new HyperlinkLabel(container);
      l->setText(text);
      l->setTarget(expand(d.items));
      w = l;
      break;
    }
    case Kind::Browser:
      w = new WebBrowser(container);
      break;
    case Kind::FileDialog:
      w = new QWidget(container);
      break;
  }
  Q_UNUSED(window);
  w->setObjectName(u8(d.name));
  const QPoint origin = pageOrigin(container);
  w->setGeometry(std::max(0, d.x - origin.x()), std::max(0, d.y - origin.y()), d.w, d.h);
  if (d.flags & Hidden) w->setVisible(false);
  return w;
}

void addTimer(const ControlDef& d, QWidget* window) {
  auto* t = new QTimer(window);
  t->setObjectName(u8(d.name));
  t->setInterval(d.w);
  if (d.w > 0) t->start();
}

void addMenu(const ControlDef& d, QWidget* window) {
  auto* m = new QMenu(window);
  m->setObjectName(u8(d.name));
  m->setTitle(u8(d.name));
  for (const QString& caption : items(d.items)) {
    QAction* a = m->addAction(caption);
    a->setObjectName(caption);
  }
}

}  // namespace

std::span<const ControlDef> catalogue() {
  static const std::vector<ControlDef> rows = joinRows();
  return rows;
}

const ControlDef* catalogueRow(const QString& window, const QString& name) {
  const QByteArray w = window.toUtf8(), n = name.toUtf8();
  for (const ControlDef& d : catalogue())
    if (w == d.window && n == d.name) return &d;
  return nullptr;
}

QString designText(const QString& window, const QString& name) {
  const ControlDef* row = catalogueRow(window, name);
  return row ? expand(row->text) : QString();
}

QString designText(const ControlName& name) { return designText(u8(name.window), u8(name.name)); }

QString mainWindowTitle() { return u8(kMainRows[0].name); }

QStringList catalogueWindowTitles() {
  QStringList titles;
  for (const ControlDef& d : catalogue())
    if (d.kind == Kind::Window) titles << u8(d.name);
  return titles;
}

QWidget* buildWindow(const QString& title, QWidget* into, QWidget* parent) {
  const QByteArray key = title.toUtf8();
  QWidget* window = nullptr;
  for (const ControlDef& d : catalogue()) {
    if (key != d.window) continue;
    if (d.kind == Kind::Window) {
      window = into ? into : new QDialog(parent);
      window->setObjectName(title);
      window->setWindowTitle(title);
      window->resize(d.w, d.h);
      continue;
    }
    if (!window) continue;
    if (d.kind == Kind::Timer) {
      addTimer(d, window);
    } else if (d.kind == Kind::Menu) {
      addMenu(d, window);
    } else {
      makeWidget(d, findContainer(window, u8(d.parent)), window);
    }
  }
  return window;
}

}  // namespace tarnwick::app
