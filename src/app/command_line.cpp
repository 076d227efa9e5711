#include "app/command_line.h"

#include "version.h"

namespace tarnwick::app {

std::string versionText(std::string_view program) {
  return std::string(program) + " " + TARNWICK_VERSION + "\nclient version " + TARNWICK_UPDATE_VERSION;
}

GuiArguments parseGuiArguments(int argc, const char* const* argv) {
  GuiArguments a;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    std::string_view value;
    if (arg == "--version") {
      a.version = true;
    } else if (arg == "-h" || arg == "--help") {
      a.help = true;
    } else if (arg == "--log-level" || arg.rfind("--log-level=", 0) == 0) {
      if (arg == "--log-level") {
        if (i + 1 >= argc) {
          a.error = "--log-level needs a value: error, warning, info or debug";
          continue;
        }
        value = argv[++i];
      } else {
        value = arg.substr(std::string_view("--log-level=").size());
      }
      const auto level = log::parseLevel(value);
      if (!level) {
        a.error = "unknown log level '" + std::string(value) + "' (error, warning, info or debug)";
        continue;
      }
      // Below info the windows' lines would be lost; the file always gets them.
      a.logLevel = *level > log::Level::Info ? *level : log::Level::Info;
    }
  }
  return a;
}

std::string guiHelpText() {
  return "Usage: tarnwick [OPTIONS]\n"
         "\n"
         "Options:\n"
         "  -h, --help           Print this help and exit\n"
         "  --version            Print the version and exit\n"
         "  --log-level LEVEL    Also write request and transfer details to "
         "the log file\n"
         "                       (debug); the log boxes' lines are always "
         "written (info)\n"
         "\n"
         "Qt's own options (-platform, -style, ...) are taken as well.\n";
}

}  // namespace tarnwick::app
