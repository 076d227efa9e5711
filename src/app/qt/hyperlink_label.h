#pragma once
// A hyperlink label: a caption drawn like a link that reports a left button
// press. The target address is the property "target" (may be empty).
#include <QLabel>

namespace tarnwick::app {

class HyperlinkLabel : public QLabel {
  Q_OBJECT
 public:
  explicit HyperlinkLabel(QWidget* parent = nullptr);
  QString target() const { return m_target; }
  void setTarget(const QString& target) { m_target = target; }

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QString m_target;
};

}  // namespace tarnwick::app
