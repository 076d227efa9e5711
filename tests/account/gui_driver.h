#pragma once
// Drives the real windows of the client from a script of steps while the
// program's own (possibly nested, modal) event loops run. A timer checks the
// current step every few milliseconds: when its condition holds, its action
// runs (actions are short; clicks that open modal windows are queued so that
// the driver keeps ticking inside the new window's loop). Message boxes are
// answered as they appear and their texts are recorded.

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "app/names/name.h"

namespace tarnwick::testing {

struct Step {
  QString what;                      // shown when the script stops here
  std::function<bool()> ready;       // condition to wait for
  std::function<void()> act;         // action once ready (may be empty)
};

class GuiDriver {
 public:
  explicit GuiDriver(int timeoutMs = 60000);
  void add(QString what, std::function<bool()> ready, std::function<void()> act = {});
  // Starts ticking; onDone(ok, failure) runs once when the script ends.
  void start(std::function<void(bool ok, QString failure)> onDone);

  // Message boxes seen so far (texts), oldest first.
  const QStringList& messages() const { return m_messages; }
  bool sawMessage(const QString& text) const { return m_messages.contains(text); }
  // Answer given to the next question boxes (Yes/No); OK boxes get OK.
  void answerQuestionsWith(QMessageBox::StandardButton b) { m_answer = b; }

 private:
  void tick();
  void answerMessageBoxes();

  std::vector<Step> m_steps;
  std::size_t m_next = 0;
  QTimer m_timer;
  qint64 m_deadline = 0;
  int m_timeoutMs;
  QStringList m_messages;
  QMessageBox::StandardButton m_answer = QMessageBox::No;
  std::function<void(bool, QString)> m_onDone;
};

// Helpers for scripts.
QWidget* window(const QString& title);
QWidget* visibleWindow(const QString& title);
// Controls by the names the catalogue shares (src/app/names/).
void typeInto(QWidget* window, const app::ControlName& control, const QString& text);
void setTicked(QWidget* window, const app::ControlName& control, bool ticked);
// Queued click: returns at once even when the click opens a modal window.
void clickLater(QWidget* window, const app::ControlName& control);
QString textOf(QWidget* window, const app::ControlName& control);

}  // namespace tarnwick::testing
