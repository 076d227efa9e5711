// The member's web-upload page and listing address, as a login sets them.
#include "app/member_pages.h"

#include <gtest/gtest.h>

#include "net/text.h"

TEST(MemberPages, AccountNamesArePercentEncodedGbk) {
  struct Case {
    const char* account;  // UTF-8 here; sent as GBK
    const char* upload;
  } cases[] = {
      {"demo", "http://u/sc/index2.php?zh=demo&ml=0"},
      {"a&ml=9#x%y", "http://u/sc/index2.php?zh=a%26ml%3D9%23x%25y&ml=0"},
      {"张三", "http://u/sc/index2.php?zh=%D5%C5%C8%FD&ml=0"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(tarnwick::app::webUploadPageUrl("http://u", tarnwick::net::fromUtf8(c.account)), c.upload);
  EXPECT_EQ(tarnwick::app::memberListingUrl("http://m", "1001"), "http://m/wdwj.php?pid=1001");
}
