// Skins: numbers 1 to 33 select a style sheet of the application; 1 is the
// plain look. Another number changes nothing.
#include <QApplication>
#include <atomic>

#include "app/qt/shell.h"

namespace tarnwick::app {

namespace {
std::atomic<int> g_skin{0};
}

int currentSkin() { return g_skin; }

void applySkin(int n) {
  if (n < 1 || n > 33 || !qApp) return;
  g_skin = n;
  QString sheet;
  if (n > 1) {
    // An accent colour per skin, spread around the colour wheel.
    const int hue = (n - 2) * 360 / 32;
    sheet = QStringLiteral(
                "QTabBar::tab:selected { border-bottom: 2px solid hsl(%1, 60%, 42%); }"
                "QPushButton { border: 1px solid hsl(%1, 45%, 55%); border-radius: 3px; padding: 3px 8px;"
                " background: hsl(%1, 40%, 94%); }"
                "QPushButton:hover { background: hsl(%1, 50%, 88%); }")
                .arg(hue);
  }
  if (qApp->styleSheet() != sheet) qApp->setStyleSheet(sheet);
}

}  // namespace tarnwick::app
