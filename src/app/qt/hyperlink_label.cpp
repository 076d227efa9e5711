#include "app/qt/hyperlink_label.h"

#include <QMouseEvent>

namespace tarnwick::app {

HyperlinkLabel::HyperlinkLabel(QWidget* parent) : QLabel(parent) {
  setCursor(Qt::PointingHandCursor);
  setStyleSheet(QStringLiteral("color: #1a5fb4; text-decoration: underline;"));
}

void HyperlinkLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit clicked();
  QLabel::mousePressEvent(event);
}

}  // namespace tarnwick::app
