#pragma once
// Helpers of the GUI tests: answering message boxes that a handler opens.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

namespace testsupport {

struct SeenBox {
  QString caption;
  QString text;
  QString objectName;
  Qt::WindowModality modality = Qt::NonModal;
};

// From the event loop, waits (up to timeoutMs) for the next message box to
// become the active modal widget, records it into *seen and presses button.
inline void answerNextBox(QMessageBox::StandardButton button, std::shared_ptr<SeenBox> seen = nullptr,
                          int timeoutMs = 10000) {
  auto timer = new QTimer;
  auto started = std::make_shared<qint64>(0);
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, button, seen, timeoutMs, started] {
    *started += 20;
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box && *started < timeoutMs) return;
    timer->stop();
    timer->deleteLater();
    if (!box) return;
    if (seen) *seen = {box->windowTitle(), box->text(), box->objectName(), box->windowModality()};
    if (QAbstractButton* b = box->button(button)) b->click();
  });
  timer->start();
}

}  // namespace testsupport
