#pragma once
// What the benchmarks share without Qt: a stopwatch reading, timed shell
// commands, a value of the service's env file, one column of a query on its
// database, this process's memory figures and the files of a folder.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
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
    sqlite3_busy_timeout(h, 5000);
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

// A field of /proc/self/status in KiB ("VmRSS:", "VmHWM:"); -1 when missing.
inline long statusKiB(const char* field) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  return -1;
}

// Resets VmHWM to the present resident size.
inline void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// {relative path: bytes} of every file under root; its folders into folders
// when given.
inline std::map<std::string, std::string> filesUnder(const std::filesystem::path& root,
                                                     std::set<std::string>* folders = nullptr) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> out;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string rel = fs::relative(it->path(), root).string();
    if (it->is_directory()) {
      if (folders) folders->insert(rel);
      continue;
    }
    std::ifstream in(it->path(), std::ios::binary);
    out[rel] = std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  return out;
}

}  // namespace tarnwick::bench
