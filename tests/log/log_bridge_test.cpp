// The windows' side of the log: the core's lines and the windows' own Qt
// messages land in tarnwick.log under their categories, redacted, at the
// level the program was started with.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/qt/log.h"

namespace fs = std::filesystem;
using namespace tarnwick;

TEST(LogBridge, CoreAndQtLinesReachTheFile) {
  char tmpl[] = "/tmp/tarnwick-log-bridge.XXXXXX";
  const fs::path dir = ::mkdtemp(tmpl);
  ::setenv("XDG_STATE_HOME", dir.c_str(), 1);
  const fs::path file = app::installLogging(log::Level::Info);
  EXPECT_EQ(file, dir / "tarnwick" / "log" / "tarnwick.log");
  log::info(log::kNet, "GET http://h/yunxz1.php?pid=1&szmm=alice8 -> 200");
  log::debug(log::kTransfer, "detail left out at info");
  qCWarning(lcApp) << "window warning with Cookie: TWSESSION=abc";
  qCDebug(lcApp) << "qt detail left out at info";
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  const std::string logs = text.str();
  EXPECT_NE(logs.find("info tarnwick.net: GET http://h/yunxz1.php?pid=1&szmm=*** -> 200"), std::string::npos) << logs;
  EXPECT_NE(logs.find("warning tarnwick.app: window warning with Cookie: ***"), std::string::npos) << logs;
  EXPECT_EQ(logs.find("left out"), std::string::npos) << logs;
  EXPECT_EQ(logs.find("abc"), std::string::npos) << logs;
  fs::remove_all(dir);
}
