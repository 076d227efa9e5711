#include "app/qt/hyperlink_label.h"

#include <QMouseEvent>

namespace tarnwick::app {

HyperlinkLabel::HyperlinkLabel(QWidget* parent) : QLabel(parent) {
  setCursor(Qt::PointingHandCursor);
  // The link colour follows the skin's palette (light on dark skins).
  setStyleSheet(QStringLiteral("color: palette(link); text-decoration: underline;"));
}

void HyperlinkLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit clicked();
  QLabel::mousePressEvent(event);
}

}  // namespace tarnwick::app
