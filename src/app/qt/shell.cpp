// Texts at the widget border, control access by name, message boxes, log
// lines and the hand-over between workers and the GUI thread.
#include "app/qt/shell.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTabWidget>
#include <QThread>
#include <QTreeWidget>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "app/log_time.h"
#include "app/names/main_window.h"
#include "app/qt/log.h"
#include "app/session.h"
#include "net/text.h"

namespace tarnwick::app {

using namespace names::main;

namespace {

bool onGuiThread() {
  return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

std::mutex g_clockMutex;
std::function<QDateTime()> g_clock;

// Edit boxes hold "\r\n" line ends; QPlainTextEdit keeps "\n".
QString toWidgetLines(QString s) { return s.replace(QStringLiteral("\r\n"), QStringLiteral("\n")); }
QString fromWidgetLines(QString s) { return s.replace(u'\n', QStringLiteral("\r\n")); }

QString readText(QWidget* c) {
  if (auto* e = qobject_cast<QLineEdit*>(c)) return e->text();
  if (auto* e = qobject_cast<QPlainTextEdit*>(c)) return fromWidgetLines(e->toPlainText());
  if (auto* l = qobject_cast<QLabel*>(c)) return l->text();
  if (auto* b = qobject_cast<QAbstractButton*>(c)) return b->text();
  if (auto* cb = qobject_cast<QComboBox*>(c)) return cb->currentText();
  if (auto* g = qobject_cast<QGroupBox*>(c)) return g->title();
  if (auto* l = qobject_cast<QListWidget*>(c)) return l->currentItem() ? l->currentItem()->text() : QString();
  if (auto* t = qobject_cast<QTreeWidget*>(c)) return t->currentItem() ? t->currentItem()->text(0) : QString();
  return c->windowTitle();
}

void writeText(QWidget* c, const QString& s) {
  if (auto* e = qobject_cast<QLineEdit*>(c)) return e->setText(s);
  if (auto* e = qobject_cast<QPlainTextEdit*>(c)) return e->setPlainText(toWidgetLines(s));
  if (auto* l = qobject_cast<QLabel*>(c)) return l->setText(s);
  if (auto* b = qobject_cast<QAbstractButton*>(c)) return b->setText(s);
  if (auto* cb = qobject_cast<QComboBox*>(c)) return cb->isEditable() ? cb->setEditText(s) : cb->setCurrentText(s);
  if (auto* g = qobject_cast<QGroupBox*>(c)) return g->setTitle(s);
  c->setWindowTitle(s);
}

QMessageBox::StandardButton runBox(const QString& text, const QString& caption, QWidget* parent,
                                   QMessageBox::StandardButtons buttons) {
  QMessageBox box(QMessageBox::NoIcon, caption, text, buttons, parent);
  box.setObjectName(caption);
  box.setWindowModality(Qt::ApplicationModal);
  if (buttons & QMessageBox::Yes) box.setDefaultButton(QMessageBox::Yes);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

std::mutex g_missingMutex;
MissingNameHandler g_missingHandler;

void defaultMissingName(const QString& window, const QString& name) {
#ifdef NDEBUG
  static const bool strict = qEnvironmentVariableIntValue("TARNWICK_STRICT_NAMES") != 0;
#else
  constexpr bool strict = true;
#endif
  if (strict) qFatal("window %s has no control %s", qPrintable(window), qPrintable(name));
  qCCritical(lcApp) << "window" << window << "has no control" << name;
}

}  // namespace

MissingNameHandler setMissingNameHandler(MissingNameHandler handler) {
  std::lock_guard lock(g_missingMutex);
  std::swap(handler, g_missingHandler);
  return handler;
}

void reportMissingName(const QWidget* window, const QString& name) {
  MissingNameHandler handler;
  {
    std::lock_guard lock(g_missingMutex);
    handler = g_missingHandler;
  }
  const QString title = window ? window->window()->objectName() : QString();
  if (handler) handler(title, name);
  else defaultMissingName(title, name);
}

QWidget* page(QWidget* window, const PageName& p) {
  auto* tabs = control<QTabWidget>(window, p.tabs);
  if (!tabs) return nullptr;
  const QString title = QString::fromUtf8(p.title);
  for (int i = 0; i < tabs->count(); ++i)
    if (tabs->widget(i)->objectName() == title) return tabs->widget(i);
  reportMissingName(window, title);
  return nullptr;
}

bool pageShown(QWidget* window, const PageName& p) {
  QWidget* w = page(window, p);
  return w && w == control<QTabWidget>(window, p.tabs)->currentWidget();
}

void showPage(QWidget* window, const PageName& p) {
  if (QWidget* w = page(window, p)) control<QTabWidget>(window, p.tabs)->setCurrentWidget(w);
}

QString shownPage(QWidget* window, const ControlName& tabs) {
  auto* t = control<QTabWidget>(window, tabs);
  return t && t->currentWidget() ? t->currentWidget()->objectName() : QString();
}

void setPageCaption(QWidget* window, const PageName& p, const QString& caption) {
  if (QWidget* w = page(window, p)) {
    auto* tabs = control<QTabWidget>(window, p.tabs);
    tabs->setTabText(tabs->indexOf(w), caption);
  }
}

std::string controlText(QWidget* window, const ControlName& name) {
  return controlText(window, QString::fromUtf8(name.name));
}
void setControlText(QWidget* window, const ControlName& name, const std::string& gbk) {
  setControlText(window, QString::fromUtf8(name.name), gbk);
}

QString fromGbk(const std::string& gbk) { return QString::fromStdString(net::toUtf8(gbk)); }
std::string toGbk(const QString& s) { return net::fromUtf8(s.toStdString()); }

std::string controlText(QWidget* window, const QString& name) {
  if (!onGuiThread()) {
    std::string out;
    callOnGuiAndWait([&] { out = controlText(window, name); });
    return out;
  }
  QWidget* c = control(window, name);
  return c ? toGbk(readText(c)) : std::string();
}

void setControlText(QWidget* window, const QString& name, const std::string& gbk) {
  if (!onGuiThread()) {
    QPointer<QWidget> w(window);
    runOnGui([w, name, gbk] { if (w) setControlText(w, name, gbk); });
    return;
  }
  if (QWidget* c = control(window, name)) writeText(c, fromGbk(gbk));
}

void showMessage(const QString& text, const QString& caption, QWidget* parent) {
  if (!onGuiThread()) {
    callOnGuiAndWait([&] { showMessage(text, caption, nullptr); });
    return;
  }
  runBox(text, caption, parent, QMessageBox::Ok);
}

bool askYesNo(const QString& text, const QString& caption, QWidget* parent) {
  if (!onGuiThread()) {
    bool yes = false;
    callOnGuiAndWait([&] { yes = askYesNo(text, caption, nullptr); });
    return yes;
  }
  return runBox(text, caption, parent, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void copyToClipboard(const std::string& gbk) {
  if (!onGuiThread()) {
    runOnGui([gbk] { copyToClipboard(gbk); });
    return;
  }
  QGuiApplication::clipboard()->setText(fromGbk(gbk));
}

void setLogClock(std::function<QDateTime()> clock) {
  std::lock_guard lock(g_clockMutex);
  g_clock = std::move(clock);
}

void stampLogTime() {
  QDateTime now;
  {
    std::lock_guard lock(g_clockMutex);
    now = g_clock ? g_clock() : QDateTime::currentDateTime();
  }
  std::tm when{};
  const QDate d = now.date();
  const QTime t = now.time();
  when.tm_year = d.year() - 1900;
  when.tm_mon = d.month() - 1;
  when.tm_mday = d.day();
  when.tm_hour = t.hour();
  when.tm_min = t.minute();
  when.tm_sec = t.second();
  const std::string text = logTimeText(when);
  Session::instance().update([&](SessionData& s) { s.logTime = text; });
}

namespace {

void showInLogBox(const ControlName& box, const std::string& gbkText) {
  if (!onGuiThread()) {
    runOnGui([box, gbkText] { showInLogBox(box, gbkText); });
    return;
  }
  auto* edit = control<QPlainTextEdit>(mainWindow(), box);
  if (!edit) return;
  edit->moveCursor(QTextCursor::End);
  edit->insertPlainText(toWidgetLines(fromGbk(gbkText)));
  edit->moveCursor(QTextCursor::End);
  edit->ensureCursorVisible();
}

}  // namespace

void appendLog(const ControlName& box, const std::string& gbkText) {
  // The log file keeps what the log boxes show.
  log::info(log::kApp, net::toUtf8(gbkText));
  showInLogBox(box, gbkText);
}

void boundLogBoxes(QWidget* main) {
  for (const ControlName& name : {kLogBox, kStatusLog})
    if (auto* edit = control<QPlainTextEdit>(main, name)) edit->setMaximumBlockCount(kLogBoxLines);
}

void logLine(const ControlName& box, const std::string& gbkMessage) {
  stampLogTime();
  appendLog(box, Session::instance().get().logTime + gbkMessage + "\r\n");
}

}  // namespace tarnwick::app
