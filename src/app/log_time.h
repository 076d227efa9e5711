#pragma once
// The time-of-day prefix of log lines.
#include <ctime>
#include <string>

namespace tarnwick::app {

// Everything after the last "日" of dateTimeText(when), GBK: "9时5分3秒",
// "14时20分", "10时", and "" at midnight.
std::string logTimeText(const std::tm& when);

}  // namespace tarnwick::app
