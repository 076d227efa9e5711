#pragma once
// Log lines of the main window's log boxes.

#include <QDateTime>
#include <QString>
#include <functional>
#include <string>

class QWidget;

namespace tarnwick::app {

struct ControlName;

// Log lines: stampLogTime refreshes Session.logTime from the clock (the clock
// can be injected for tests); appendLog adds text at the end of a log box
// (names::main::kStatusLog or kLogBox) of the main window.
void stampLogTime();
void appendLog(const ControlName& box, const std::string& gbkText);
// logTime + message + "\r\n" appended to box after stampLogTime.
void logLine(const ControlName& box, const std::string& gbkMessage);

// The log boxes 日志编辑框 and 编辑框48 keep their newest lines only, so a
// long session does not grow them without end; boundLogBoxes sets that on
// the main window.
inline constexpr int kLogBoxLines = 5000;
void boundLogBoxes(QWidget* main);

// The clock of stampLogTime (tests inject a fixed time; default: now).
void setLogClock(std::function<QDateTime()> clock);

}  // namespace tarnwick::app
