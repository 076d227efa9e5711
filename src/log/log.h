#pragma once
// The core's log sink: levelled lines in named categories, handed to one
// handler that the program installs (a log file, Qt's logging categories).
// Every line passes redact() first, so no password, form value that carries
// one, FTP PASS argument or cookie value reaches a handler.
//
// Without a handler, or below the threshold, a call costs one atomic load.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick::log {

enum class Level { Error = 0, Warning = 1, Info = 2, Debug = 3 };

// Categories of the core.
inline constexpr const char* kNet = "tarnwick.net";            // HTTP requests
inline constexpr const char* kTransfer = "tarnwick.transfer";  // FTP uploads, downloads
inline constexpr const char* kAccount = "tarnwick.account";    // login, account changes
inline constexpr const char* kApp = "tarnwick.app";            // the windows' log boxes
inline constexpr const char* kCli = "tarnwick.cli";            // the command line

using Handler = std::function<void(Level level, const char* category, const std::string& message)>;

// Installs the handler (empty: nothing is written) and the most detailed
// level it receives.
void setHandler(Handler handler, Level threshold);
// True when a line of this level would reach the handler; lets a call site
// skip building an expensive message.
bool enabled(Level level);

// Redacts the message and hands it to the handler when enabled(level).
void write(Level level, const char* category, std::string_view message);
inline void error(const char* category, std::string_view m) { write(Level::Error, category, m); }
inline void warning(const char* category, std::string_view m) { write(Level::Warning, category, m); }
inline void info(const char* category, std::string_view m) { write(Level::Info, category, m); }
inline void debug(const char* category, std::string_view m) { write(Level::Debug, category, m); }

// Masks this text from now on in every line, as given and in the forms it
// takes on the way to the service: GBK and UTF-8, each also percent-encoded
// (upper- and lower-case hex, blanks as "+" or "%20"). Texts shorter than
// three bytes are not masked as such (they would mask ordinary words); the
// keyed rules of redact() still cover them.
void addSecret(std::string_view secret);

// True for the form fields whose value is a password (mm, mm1, mm2, cfmm1,
// czmm3, srmm, szmm, fwmm, cxwenti, cxdan); the form builder registers their
// values as secrets.
bool isSecretField(std::string_view key);

// The line as it may be written: registered secrets, the values of the
// password form fields (isSecretField), the password of
// a URL's user part, the argument of an FTP PASS command and the values of
// Cookie / Set-Cookie headers become "***".
std::string redact(std::string_view message);

// "error", "warning", "info", "debug" (also "warn"); nullopt otherwise.
std::optional<Level> parseLevel(std::string_view name);
const char* levelName(Level level);

}  // namespace tarnwick::log
