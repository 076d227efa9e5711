#pragma once
// The log file of a program: $XDG_STATE_HOME/tarnwick/log/<program>.log
// (~/.local/state when XDG_STATE_HOME is unset), mode 0600, rotated by size
// into <program>.log.1 ... .N. Every line is appended under an exclusive
// flock of the file, and a writer that finds the file rotated under it
// opens the new one, so several processes writing at once lose no line.

#include <cstdint>
#include <filesystem>
#include <string>

#include "log/log.h"

namespace tarnwick::log {

inline constexpr std::uintmax_t kLogFileBytes = 5u * 1024 * 1024;
inline constexpr int kLogFilesKept = 5;  // the current file and four rotated ones

std::filesystem::path defaultLogFolder();

class LogFile {
 public:
  LogFile(std::filesystem::path path, std::uintmax_t maxBytes = kLogFileBytes, int filesKept = kLogFilesKept);

  const std::filesystem::path& path() const { return m_path; }
  // Appends the text (one or more whole lines); false when the file could
  // not be written (the line is then dropped: a log never stops the program).
  bool append(const std::string& text) const;

 private:
  void rotate() const;

  std::filesystem::path m_path;
  std::uintmax_t m_maxBytes;
  int m_filesKept;
};

// "2026-05-01 12:00:00.123 [pid] info tarnwick.net: message\n"; a message of
// several lines continues on lines indented by two blanks.
std::string formatLine(Level level, const char* category, const std::string& message);

// Installs a handler that writes every line up to threshold into
// defaultLogFolder()/<program>.log (the folder created with mode 0700).
// Returns the file's path.
std::filesystem::path installFileLog(const std::string& program, Level threshold);

}  // namespace tarnwick::log
