#include "app/qt/bindings.h"

#include <QAbstractButton>
#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QMouseEvent>

namespace tarnwick::app {

namespace {

// Pops a menu up on a right-button press (or release) over a view.
class MenuPopper : public QObject {
 public:
  MenuPopper(QObject* parent, QMenu* menu, bool onRelease, std::function<bool()> before)
      : QObject(parent), m_menu(menu), m_onRelease(onRelease), m_before(std::move(before)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const auto wanted = m_onRelease ? QEvent::MouseButtonRelease : QEvent::MouseButtonPress;
    if (event->type() != wanted || static_cast<QMouseEvent*>(event)->button() != Qt::RightButton)
      return QObject::eventFilter(watched, event);
    const bool swallow = m_before && m_before();
    if (m_menu) m_menu->popup(QCursor::pos());
    return swallow;
  }

 private:
  QPointer<QMenu> m_menu;
  bool m_onRelease;
  std::function<bool()> m_before;
};

}  // namespace

QAction* menuAction(QWidget* window, const MenuItemName& item) {
  auto* menu = control<QMenu>(window, item.menu);
  if (!menu) return nullptr;
  const QString caption = QString::fromUtf8(item.caption);
  auto* action = menu->findChild<QAction*>(caption);
  if (!action) reportMissingName(window, caption);
  return action;
}

void onMenu(QWidget* window, const MenuItemName& item, std::function<void()> f) {
  if (QAction* a = menuAction(window, item))
    QObject::connect(a, &QAction::triggered, a, [f = std::move(f)] { f(); });
}

void onClick(QWidget* window, const ControlName& button, std::function<void()> f) {
  if (auto* b = control<QAbstractButton>(window, button))
    QObject::connect(b, &QAbstractButton::clicked, b, [f = std::move(f)] { f(); });
}

void popupMenuOn(QAbstractItemView* widget, const ControlName& menu, bool onRelease, std::function<bool()> before) {
  if (!widget) return;
  auto* m = control<QMenu>(widget->window(), menu);
  widget->viewport()->installEventFilter(new MenuPopper(widget, m, onRelease, std::move(before)));
}

}  // namespace tarnwick::app
