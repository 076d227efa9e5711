#pragma once
// What a command prints: plain lines for people and scripts (tab-separated
// fields, UTF-8), or one JSON document with --json.

#include <nlohmann/json.hpp>
#include <string>

namespace tarnwick::cli {

struct Output {
  bool json = false;
  bool quiet = false;  // no progress on standard error; results and errors still appear

  // Prints the JSON document (with --json) or the text lines (without).
  void result(const nlohmann::json& document, const std::string& lines) const;
};

// One line on standard error: "tarnwick-cli: " + message, its control
// characters escaped (net::escapeControls).
void printError(const std::string& messageUtf8);

// A name as plain output shows it: control characters escaped
// (net::escapeControls), so it cannot act on the terminal or split a
// tab-separated line. --json output keeps the name as it is.
std::string plainName(const std::string& nameUtf8);

// GBK program text to UTF-8 for printing.
std::string utf8(const std::string& gbk);

}  // namespace tarnwick::cli
