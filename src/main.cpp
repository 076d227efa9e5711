// The Tarnwick Desktop client.
#include <QApplication>

#include "app/qt/start.h"

int main(int argc, char** argv) {
  tarnwick::app::prepareApplication();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tarnwick"));
  return tarnwick::app::startClient();
}
