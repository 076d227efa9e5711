#pragma once
// What the Qt-free benchmarks share: a stopwatch reading, timed shell
// commands, a value of the service's env file, and one column of a query on
// its database.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace tarnwick::bench {

inline double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// KEY=value of a service.env file ("" when absent).
inline std::string envValue(const std::string& envFile, const std::string& key) {
  std::ifstream in(envFile);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  return "";
}

// Runs a shell command; the seconds it took (a failure is told on stderr).
inline double runShell(const std::string& command) {
  const auto began = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
  return seconds(began);
}

// The best of three runs of a command that does the same work each time
// (curl's times against a local server swing from run to run).
inline double bestOfThree(const std::string& command) {
  double best = runShell(command);
  for (int i = 0; i < 2; ++i) best = std::min(best, runShell(command));
  return best;
}

// The first column of every row of sql on the SQLite database db.
inline std::vector<std::string> column(const std::string& db, const std::string& sql) {
  std::vector<std::string> out;
  sqlite3* h = nullptr;
  if (sqlite3_open(db.c_str(), &h) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr) == SQLITE_OK)
      while (sqlite3_step(st) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(st, 0);
        out.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
      }
    sqlite3_finalize(st);
  }
  sqlite3_close(h);
  return out;
}

}  // namespace tarnwick::bench
