#pragma once
// Message boxes: task-modal, caption "信息：" unless given; callable from a
// worker (the worker waits for the answer).

#include <QMessageBox>
#include <QString>
#include <QWidget>

namespace tarnwick::app {

// Task-modal message box with caption "信息：" (or the given one), OK button.
void showMessage(const QString& text, const QString& caption = QStringLiteral("信息："),
                 QWidget* parent = nullptr);
// Yes/No question; true when Yes was pressed.
bool askYesNo(const QString& text, const QString& caption = QStringLiteral("信息："),
              QWidget* parent = nullptr);

}  // namespace tarnwick::app
