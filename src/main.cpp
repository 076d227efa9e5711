// The Tarnwick Desktop client.
#include <QApplication>
#include <cstdio>

#include "app/command_line.h"
#include "app/qt/log.h"
#include "app/qt/start.h"

int main(int argc, char** argv) {
  const tarnwick::app::GuiArguments args = tarnwick::app::parseGuiArguments(argc, argv);
  if (!args.error.empty()) {
    std::fprintf(stderr, "tarnwick: %s\n", args.error.c_str());
    return 1;
  }
  // Answered before any window or display connection exists.
  if (args.version || args.help) {
    const std::string text =
        args.version ? tarnwick::app::versionText("tarnwick") + "\n" : tarnwick::app::guiHelpText();
    std::fputs(text.c_str(), stdout);
    return 0;
  }
  tarnwick::app::installLogging(args.logLevel);
  tarnwick::app::prepareApplication();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tarnwick"));
  return tarnwick::app::startClient();
}
