#pragma once
// Exit codes of tarnwick-cli and the error that carries one up to main().

#include <stdexcept>
#include <string>

namespace tarnwick::cli {

enum ExitCode : int {
  kExitOk = 0,
  kExitUsage = 1,        // bad arguments
  kExitUnreachable = 2,  // the service could not be reached
  kExitRefused = 3,      // wrong password, not logged in, not found, refused
  kExitLocalFile = 4,    // a local file could not be read or written
  kExitPartial = 5,      // some items of a batch failed, the others are done
};

// A failure told to the user in one line on standard error (UTF-8).
class CliError : public std::runtime_error {
 public:
  CliError(ExitCode code, const std::string& message) : std::runtime_error(message), m_code(code) {}
  ExitCode code() const { return m_code; }

 private:
  ExitCode m_code;
};

}  // namespace tarnwick::cli
