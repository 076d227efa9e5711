#include "cli/progress_line.h"

#include <algorithm>
#include <cstdio>

#include "net/control_escape.h"

namespace tarnwick::cli {

std::string byteText(std::int64_t bytes) {
  static const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  double v = static_cast<double>(bytes < 0 ? 0 : bytes);
  int u = 0;
  while (v >= 1024 && u < 4) v /= 1024, ++u;
  char out[32];
  std::snprintf(out, sizeof out, u == 0 ? "%.0f %s" : "%.1f %s", v, units[u]);
  return out;
}

std::string durationText(double seconds) {
  if (!(seconds >= 0) || seconds > 360000) return "--:--";
  const long s = static_cast<long>(seconds + 0.5);
  char out[32];
  if (s >= 3600)
    std::snprintf(out, sizeof out, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(out, sizeof out, "%ld:%02ld", s / 60, s % 60);
  return out;
}

void ProgressLine::sample(std::int64_t done, std::int64_t total, std::int64_t moved) {
  // No transfer running: the row is before its bytes (MD5, address page) or
  // after them (registration, renaming); the last figures stay.
  m_between = total < 0 && done == 0 && moved == 0;
  if (m_between) return;
  m_seenBytes = true;
  const auto now = std::chrono::steady_clock::now();
  if (m_last != std::chrono::steady_clock::time_point{}) {
    const double dt = std::chrono::duration<double>(now - m_last).count();
    if (dt > 0) {
      const double instant = static_cast<double>(moved) / dt;
      // A short moving average keeps the figure from jumping between samples.
      m_speed = m_speed < 0 ? instant : 0.7 * m_speed + 0.3 * instant;
    }
  }
  m_last = now;
  m_done = done;
  m_total = total;
}

std::string ProgressLine::text(const std::string& name) const {
  std::string line = net::escapeControls(name);  // a name must not move the cursor or end the line
  if (m_between && !m_seenBytes) return line + "  starting";
  if (m_total > 0) {
    const int percent = static_cast<int>(std::min<std::int64_t>(100, m_done * 100 / m_total));
    line += "  " + std::to_string(percent) + "%  " + byteText(m_done) + " of " + byteText(m_total);
  } else {
    line += "  " + byteText(m_done);
  }
  if (m_speed >= 0 && !m_between) {
    line += "  " + byteText(static_cast<std::int64_t>(m_speed)) + "/s";
    if (m_total > 0 && m_speed > 0)
      line += "  " + durationText(static_cast<double>(m_total - m_done) / m_speed) + " left";
  }
  if (m_between) line += "  finishing";
  return line;
}

void ProgressLine::reset() { *this = ProgressLine{}; }

}  // namespace tarnwick::cli
