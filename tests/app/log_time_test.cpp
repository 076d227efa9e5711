#include "app/log_time.h"

#include <gtest/gtest.h>

#include "net/text.h"

TEST(LogTime, TimeOfDayAfterTheDate) {
  struct Case {
    int h, m, s;
    const char* expected;
  } cases[] = {
      {9, 5, 3, "9时5分3秒"}, {14, 20, 0, "14时20分"}, {10, 0, 0, "10时"},
      {10, 0, 7, "10时0分7秒"}, {0, 0, 0, ""},          {0, 0, 9, "0时0分9秒"},
      {0, 30, 0, "0时30分"},  {23, 59, 59, "23时59分59秒"},
  };
  for (const Case& c : cases) {
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 31;  // the date's own "日" must not end up in the text
    when.tm_hour = c.h;
    when.tm_min = c.m;
    when.tm_sec = c.s;
    EXPECT_EQ(tarnwick::app::logTimeText(when), tarnwick::net::fromUtf8(c.expected))
        << c.h << ":" << c.m << ":" << c.s;
  }
}
