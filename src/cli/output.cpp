#include "cli/output.h"

#include <cstdio>

#include "net/control_escape.h"
#include "net/text.h"

namespace tarnwick::cli {

void Output::result(const nlohmann::json& document, const std::string& lines) const {
  const std::string text =
      json ? document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n" : lines;
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void printError(const std::string& message) {
  // Messages carry names from the service and the command line: their control
  // characters are escaped so the line stays one line and the terminal obeys none.
  const std::string line = "tarnwick-cli: " + net::escapeControls(message) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

std::string plainName(const std::string& nameUtf8) { return net::escapeControls(nameUtf8); }

std::string utf8(const std::string& gbk) { return net::toUtf8(gbk); }

}  // namespace tarnwick::cli
