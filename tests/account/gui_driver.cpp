#include "gui_driver.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <cstdio>

namespace tarnwick::testing {

GuiDriver::GuiDriver(int timeoutMs) : m_timeoutMs(timeoutMs) {
  m_timer.setInterval(20);
  QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
}

void GuiDriver::add(QString what, std::function<bool()> ready, std::function<void()> act) {
  m_steps.push_back({std::move(what), std::move(ready), std::move(act)});
}

void GuiDriver::start(std::function<void(bool, QString)> onDone) {
  m_onDone = std::move(onDone);
  m_deadline = QDateTime::currentMSecsSinceEpoch() + m_timeoutMs;
  m_timer.start();
}

void GuiDriver::answerMessageBoxes() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(w);
    if (!box || !box->isVisible() || box->property("tw_answered").toBool()) continue;
    box->setProperty("tw_answered", true);
    m_messages << box->text();
    std::fprintf(stderr, "message: %s\n", qPrintable(box->text()));
    std::fflush(stderr);
    QAbstractButton* answer = box->button(m_answer);
    if (!answer) answer = box->button(QMessageBox::Ok);
    if (!answer && !box->buttons().isEmpty()) answer = box->buttons().first();
    if (answer) QTimer::singleShot(0, answer, &QAbstractButton::click);
  }
}

void GuiDriver::tick() {
  answerMessageBoxes();
  if (m_next >= m_steps.size()) {
    m_timer.stop();
    if (m_onDone) m_onDone(true, {});
    return;
  }
  if (QDateTime::currentMSecsSinceEpoch() > m_deadline) {
    m_timer.stop();
    if (m_onDone)
      m_onDone(false, QStringLiteral("timed out waiting for: ") + m_steps[m_next].what +
                          QStringLiteral(" (messages: ") + m_messages.join(QStringLiteral(" | ")) +
                          QStringLiteral(")"));
    return;
  }
  Step& step = m_steps[m_next];
  if (!step.ready || step.ready()) {
    ++m_next;
    if (step.act) step.act();
  }
}

QWidget* window(const QString& title) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == title) return w;
  return nullptr;
}

QWidget* visibleWindow(const QString& title) {
  QWidget* w = window(title);
  // A minimised window (hidden to a missing notification area) is not shown.
  return w && w->isVisible() && !w->isMinimized() ? w : nullptr;
}

void typeInto(QWidget* w, const app::ControlName& name, const QString& text) {
  const QString control = QString::fromUtf8(name.name);
  if (!w) return;
  if (auto* e = w->findChild<QLineEdit*>(control)) e->setText(text);
  else if (auto* p = w->findChild<QPlainTextEdit*>(control)) p->setPlainText(text);
  else if (auto* t = w->findChild<QTextEdit*>(control)) t->setPlainText(text);
}

void setTicked(QWidget* w, const app::ControlName& name, bool ticked) {
  const QString control = QString::fromUtf8(name.name);
  if (auto* c = w ? w->findChild<QCheckBox*>(control) : nullptr) c->setChecked(ticked);
}

void clickLater(QWidget* w, const app::ControlName& name) {
  const QString control = QString::fromUtf8(name.name);
  if (auto* b = w ? w->findChild<QAbstractButton*>(control) : nullptr)
    QTimer::singleShot(0, b, &QAbstractButton::click);
}

QString textOf(QWidget* w, const app::ControlName& name) {
  const QString control = QString::fromUtf8(name.name);
  if (!w) return {};
  if (auto* e = w->findChild<QLineEdit*>(control)) return e->text();
  if (auto* p = w->findChild<QPlainTextEdit*>(control)) return p->toPlainText();
  if (auto* t = w->findChild<QTextEdit*>(control)) return t->toPlainText();
  if (auto* l = w->findChild<QLabel*>(control)) return l->text();
  if (auto* b = w->findChild<QAbstractButton*>(control)) return b->text();
  return {};
}

}  // namespace tarnwick::testing
