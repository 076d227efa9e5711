// Cutting the account pages: the cases where a loose cut would show the
// wrong thing (selections numbered from 1, blanks in records, page 0).
#include <gtest/gtest.h>

#include "net/text.h"
#include "settings/account_pages.h"

using namespace tarnwick;
using tarnwick::net::fromUtf8;

TEST(AccountPages, SettingsSelectionsCountFromOneAndMissingMeansNone) {
  struct Case {
    const char* page;
    int mode, permission;
  } cases[] = {
      {"x selected [2] y selected]4[ z", 1, 3},
      {"selected [1]selected]1[", 0, 0},
      {"no markers at all", -1, -1},
      {"selected [] selected]x[", -1, -1},
  };
  for (const auto& c : cases) {
    const auto v = settings::settingsView(c.page, {});
    EXPECT_EQ(v.modeIndex, c.mode) << c.page;
    EXPECT_EQ(v.permissionIndex, c.permission) << c.page;
    EXPECT_EQ(v.texts.size(), settings::settingsTargets().size());
  }
}

// A refusal (a session that a later login replaced) or an error page holds
// no state: it must not read as "question set", "no earning" or empty
// captions.
TEST(AccountPages, APageWithoutTheMemberStateReportsNothing) {
  const std::string refusal = fromUtf8("<html><body>帐号不存在。</body></html>");
  const std::string question = "id=\"dan\" value=\"";
  EXPECT_FALSE(settings::personalView(refusal).reported);
  EXPECT_FALSE(settings::securityView(refusal, question).reported);
  EXPECT_FALSE(settings::securityView(refusal, question).questionSet);
  EXPECT_FALSE(settings::withdrawalView(refusal, {}).reported);
  EXPECT_FALSE(settings::settingsView(refusal, {}).reported);

  EXPECT_TRUE(settings::personalView(fromUtf8("总IP数量：3。")).reported);
  EXPECT_TRUE(settings::securityView(fromUtf8("密保状态：还没有设置，危险！"), question).reported);
  const auto set = settings::securityView("<input id=\"dan\" value=\"q\">", question);
  EXPECT_TRUE(set.reported && set.questionSet);
  EXPECT_TRUE(settings::withdrawalView(fromUtf8("已提现佣金：0元<br />"), {}).reported);

  std::vector<std::string> markers;
  std::string page = "selected [1] selected]1[";
  for (std::size_t i = 0; i < settings::settingsTargets().size(); ++i) {
    markers.push_back("<m" + std::to_string(i) + ">");
    page += markers.back() + "v<";
  }
  EXPECT_TRUE(settings::settingsView(page, markers).reported);
  EXPECT_EQ(settings::settingsView(page, markers).textOf(settings::settingsTargets()[2].control), "v");
  markers.back() = "<absent>";  // one caption missing: not the settings page
  EXPECT_FALSE(settings::settingsView(page, markers).reported);
}

TEST(AccountPages, RecordRowsTurnEveryNbspFormIntoOneBlank) {
  const std::string pattern = "<div style=\"float:left; padding-top:5px;\">.*?&nbsp;&nbsp&nbsp;.*?</div></div>";
  const std::string page =
      "<div class=\"r\"><div style=\"float:left; padding-top:5px;\">a&nbsp;&nbsp&nbsp;b</div></div>\r\n"
      "<div class=\"r\"><div style=\"float:left; padding-top:5px;\">" + fromUtf8("二") +
      "&nbsp;&nbsp&nbsp;" + fromUtf8("上传了文件") + "</div></div>\r\n";
  const auto rows = settings::recordRows(page, pattern);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], "a   b");
  EXPECT_EQ(rows[1], fromUtf8("二   上传了文件"));
}

TEST(AccountPages, WithdrawalRecordsOnlyForALockedAccount) {
  const settings::WithdrawalMarkers m{"name=\"dlmm\" value=\"", "name=\"dlzh\" value=\"", "name=\"lxyx\" value=\"",
                                      "<div style=\"margin-top:5px;\">.*?&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;.*?&nbsp;.*?</div>"};
  const std::string record =
      "<div style=\"margin-top:5px;\">2026-01-02&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;20.00&nbsp;ok</div>\r\n";
  const std::string locked = fromUtf8("已提现佣金：20元<br />已锁定") + "<input name=\"dlmm\" value=\"a@b\">" + record;
  auto v = settings::withdrawalView(locked, m);
  EXPECT_TRUE(v.locked);
  EXPECT_EQ(v.alipay, "a@b");
  EXPECT_EQ(v.withdrawn, fromUtf8("已提现佣金：20元。"));
  ASSERT_EQ(v.records.size(), 1u);
  EXPECT_EQ(v.records[0], "2026-01-02     20.00 ok");

  v = settings::withdrawalView(fromUtf8("已提现佣金：0元<br />") + record, m);
  EXPECT_FALSE(v.locked);
  EXPECT_TRUE(v.records.empty());
}

TEST(AccountPages, RecordPageArithmetic) {
  EXPECT_EQ(settings::recordPageNumber(""), 0);
  EXPECT_EQ(settings::recordPageNumber("3"), 3);
  EXPECT_EQ(settings::previousRecordPage(0), 0);
  EXPECT_EQ(settings::previousRecordPage(3), 2);
  EXPECT_EQ(settings::nextRecordPage(settings::recordPageNumber("")), 1);
  EXPECT_EQ(settings::recordPageUrl("http://h", 2), "http://h/sytj.php?yms=2");
  EXPECT_EQ(settings::accountPageUrl("http://h", "aq", fromUtf8("张&")), "http://h/get/aq.php?pid=%D5%C5%26");
}
