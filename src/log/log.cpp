#include "log/log.h"

#include <atomic>
#include <mutex>

namespace tarnwick::log {
namespace {

std::mutex g_handlerMutex;
Handler g_handler;
// -1 = no handler; otherwise the most detailed level written.
std::atomic<int> g_threshold{-1};

}  // namespace

void setHandler(Handler handler, Level threshold) {
  std::lock_guard lock(g_handlerMutex);
  g_threshold.store(handler ? static_cast<int>(threshold) : -1);
  g_handler = std::move(handler);
}

bool enabled(Level level) { return static_cast<int>(level) <= g_threshold.load(std::memory_order_relaxed); }

void write(Level level, const char* category, std::string_view message) {
  if (!enabled(level)) return;
  const std::string line = redact(message);
  Handler handler;
  {
    std::lock_guard lock(g_handlerMutex);
    handler = g_handler;
  }
  if (handler) handler(level, category, line);
}

std::optional<Level> parseLevel(std::string_view name) {
  if (name == "error") return Level::Error;
  if (name == "warning" || name == "warn") return Level::Warning;
  if (name == "info") return Level::Info;
  if (name == "debug") return Level::Debug;
  return std::nullopt;
}

const char* levelName(Level level) {
  switch (level) {
    case Level::Error:
      return "error";
    case Level::Warning:
      return "warning";
    case Level::Info:
      return "info";
    case Level::Debug:
      return "debug";
  }
  return "info";
}

}  // namespace tarnwick::log
