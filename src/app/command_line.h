#pragma once
// The command line of both programs' shared parts: the version text and the
// few options of the windows program, read before any window exists.

#include <string>
#include <string_view>

#include "log/log.h"

namespace tarnwick::app {

// "<program> <project version>\nclient version <update build number>"
// (the first line is what packaging tools read as the version).
std::string versionText(std::string_view program);

struct GuiArguments {
  bool version = false;
  bool help = false;
  log::Level logLevel = log::Level::Info;  // the windows always log at least this much
  std::string error;                       // set for a bad --log-level value
};

// --version, -h/--help, --log-level LEVEL (or --log-level=LEVEL); every other
// argument is left to Qt.
GuiArguments parseGuiArguments(int argc, const char* const* argv);
std::string guiHelpText();

}  // namespace tarnwick::app
