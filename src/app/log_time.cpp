#include "app/log_time.h"

#include "net/text.h"

namespace tarnwick::app {

std::string logTimeText(const std::tm& when) {
  const std::string full = net::dateTimeText(when);
  static const std::string day = net::fromUtf8("日");
  const int pos = net::findLast(full, day);
  if (pos < 0) return full;
  return full.substr(static_cast<std::size_t>(pos - 1) + day.size());
}

}  // namespace tarnwick::app
