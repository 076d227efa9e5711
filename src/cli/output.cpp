#include "cli/output.h"

#include <cstdio>

#include "net/text.h"

namespace tarnwick::cli {

void Output::result(const nlohmann::json& document, const std::string& lines) const {
  const std::string text =
      json ? document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n" : lines;
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void printError(const std::string& message) { std::fprintf(stderr, "tarnwick-cli: %s\n", message.c_str()); }

std::string utf8(const std::string& gbk) { return net::toUtf8(gbk); }

}  // namespace tarnwick::cli
