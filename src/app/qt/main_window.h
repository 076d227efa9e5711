#pragma once
// The main window: built from the catalogue, hidden until a login succeeds.
// It asks before closing (hide to the tray, or quit after the pending
// downloads are stopped) and owns the tray icon.
#include <QPointer>
#include <QSystemTrayIcon>
#include <QWidget>

namespace tarnwick::app {

class MainWindow : public QWidget {
  Q_OBJECT
 public:
  MainWindow();
  ~MainWindow() override;

  // Puts the window's icon into the notification area (when there is one).
  void showTrayIcon();
  void removeTrayIcon();
  bool trayIconShown() const;
  // Tray notifications: 1 = left click (show, centred), 2 = double click
  // (nothing), 3 = context menu (pops up the menu 托盘 at the cursor).
  void trayEvent(int code);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // The close query; true when the program should end.
  bool confirmQuit();
  QPointer<QSystemTrayIcon> m_tray;
  bool m_closing = false;  // the close query or its request is under way
};

MainWindow* theMainWindow();

}  // namespace tarnwick::app
