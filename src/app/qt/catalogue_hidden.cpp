// Rows of the main window that the user never sees: the text slots holding
// scraping patterns, HTML markers and working values, the timers and the
// popup menus.
#include "app/names/main_window.h"
#include "app/qt/catalogue_rows.h"
#include "browser/scrape_patterns.h"

namespace tarnwick::app {

using namespace names::main;

#define W kTitle
#define H Hidden

const ControlDef kMainHiddenRows[] = {
    {W, "", "分组框1", Kind::Group, 1184, 408, 300, 200, "", "", H},
    {W, "分组框1", kLogBox.name, Kind::MultiEdit, 8, 20, 280, 80, "", "", H},
    {W, "分组框1", kFtpUserBox.name, Kind::Edit, 8, 104, 280, 24, "", "", H},
    {W, "分组框1", kFtpPasswordBox.name, Kind::Edit, 8, 132, 280, 24, "", "", H},
    {W, "分组框1", kFtpHostBox.name, Kind::Edit, 8, 160, 280, 24, "{MainHostName}", "", H},
    {W, "", "标签5", Kind::Label, 1184, 620, 80, 24, "软件日志：", "", H},
    {W, "", kFilePathBox.name, Kind::Edit, 1184, 660, 300, 24, "", "", H},
    {W, "", "通用对话框1", Kind::FileDialog, 1184, 700, 32, 32, "", "", H},
    {W, "", "标签2", Kind::Label, 1184, 740, 80, 24, "IP", "", H},
    {W, "", "标签3", Kind::Label, 1184, 770, 80, 24, "用户名", "", H},
    {W, "", "标签4", Kind::Label, 1184, 800, 80, 24, "密码：", "", H},
    {W, "", "标签6", Kind::Label, 1184, 830, 80, 24, "上传进度：", "", H},
    // page 上传文件
    {W, kUploadPage.title, kWelcomeLabel.name, Kind::Label, 700, 10, 200, 24, "欢迎您回来：", "", H},
    {W, kUploadPage.title, kChosenFolderLabel.name, Kind::Label, 700, 40, 200, 24, "选择文件夹：默认文件夹", "", H},
    {W, kUploadPage.title, kCreateFolderButton.name, Kind::Button, 700, 70, 80, 32, "设置与创建", "", H},
    {W, kUploadPage.title, kOpenWebPageButton.name, Kind::Button, 700, 110, 80, 32, "打开", "", H},
    {W, kUploadPage.title, kTrayButton.name, Kind::Button, 700, 150, 80, 32, "托盘显示", "", H},
    {W, kUploadPage.title, kStatusLog.name, Kind::MultiEdit, 700, 190, 300, 100, "", "", H},
    // page 文件
    {W, kFilesPage.title, kFolderPattern.name, Kind::Edit, 700, 10, 200, 24,
     browser::patterns::kFolderEntry, "", H},
    {W, kFilesPage.title, kFileRowPattern.name, Kind::Edit, 700, 40, 200, 24,
     browser::patterns::kFileRow, "", H},
    {W, kFilesPage.title, kWithdrawnMarker.name, Kind::Edit, 700, 70, 200, 24,
     "<div style=\"margin-top:5px;\">.*?&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;.*?&nbsp;.*?</div>", "", H},
    {W, kFilesPage.title, "编辑框38", Kind::Edit, 700, 100, 200, 24, "", "", H},
    {W, kFilesPage.title, kListingPage.name, Kind::Edit, 700, 130, 200, 24, "", "", H},
    {W, kFilesPage.title, kTypedPage.name, Kind::Edit, 700, 160, 200, 24, "", "", H},
    {W, kFilesPage.title, kTypedPreviousButton.name, Kind::Button, 700, 190, 80, 32, "上一页", "", H},
    {W, kFilesPage.title, kTypedNextButton.name, Kind::Button, 700, 230, 80, 32, "下一页", "", H},
    {W, kFilesPage.title, kTypedGoButton.name, Kind::Button, 700, 270, 80, 32, "跳转", "", H},
    {W, kFilesPage.title, kMoveFilesButton.name, Kind::Button, 700, 310, 80, 32, "", "", H},
    {W, kFilesPage.title, "时钟1", Kind::Timer, 0, 0, 1000, 0, "", ""},
    {W, kFilesPage.title, "时钟4", Kind::Timer, 0, 0, 1000, 0, "", ""},
    // page 个人
    {W, kPersonalPage.title, "标签11", Kind::Label, 700, 10, 300, 24, "VIP身份：获取中……", "", H},
    {W, kPersonalPage.title, kModeLabel.name, Kind::Label, 700, 40, 300, 24, "网赚模式：", "", H},
    {W, kPersonalPage.title, kPlanLabel.name, Kind::Label, 700, 70, 300, 24, "分享回报计划：", "", H},
    {W, kPersonalPage.title, kTotalsLabel.name, Kind::Label, 700, 100, 300, 24, "分享统计：", "", H},
    {W, kPersonalPage.title, kTodayLabel.name, Kind::Label, 700, 130, 300, 24, "今天的数据：", "", H},
    {W, kPersonalPage.title, kReferralLabel.name, Kind::Label, 700, 160, 300, 24, "下线提成数据：", "", H},
    // markers read by the personal, withdrawal and security pages
    {W, "", kSecurityMarker.name, Kind::Edit, 1184, 900, 200, 24, "id=\"dan\" value=\"", "", H},
    {W, "", kAlipayMarker.name, Kind::Edit, 1184, 930, 200, 24, "name=\"dlmm\" value=\"", "", H},
    {W, "", kHolderMarker.name, Kind::Edit, 1184, 960, 200, 24, "name=\"dlzh\" value=\"", "", H},
    {W, "", kPayoutEmailMarker.name, Kind::Edit, 1184, 990, 200, 24, "name=\"lxyx\" value=\"", "", H},
    {W, "", kAccessPasswordMarker.name, Kind::Edit, 1184, 1020, 200, 24, browser::patterns::kAccessPasswordMarker, "", H},
    // page 设置
    {W, kSettingsPage.title, kHiddenSwitch1Marker.name, Kind::Edit, 700, 10, 200, 24,
     "id=\"btn3\" style=\"width:325px;\">", "", H},
    {W, kSettingsPage.title, kHiddenSwitch2Marker.name, Kind::Edit, 700, 40, 200, 24,
     "id=\"qxbtn2\" style=\"width:325px;\">", "", H},
    {W, kSettingsPage.title, kShowNameLabelMarker.name, Kind::Edit, 700, 70, 200, 24, "<p id=\"xdan4\">", "", H},
    {W, kSettingsPage.title, kShowNameMarker.name, Kind::Edit, 700, 100, 200, 24,
     "id=\"xbtn2\" style=\"width:325px;\">", "", H},
    {W, kSettingsPage.title, kShowDownloadsLabelMarker.name, Kind::Edit, 700, 130, 200, 24, "<p id=\"dan4\">", "", H},
    {W, kSettingsPage.title, kShowDownloadsMarker.name, Kind::Edit, 700, 160, 200, 24,
     "id=\"btn2\" style=\"width:325px;\">", "", H},
    {W, kSettingsPage.title, kForcedChargeMarker.name, Kind::Edit, 700, 190, 200, 24,
     "id=\"btn3qzsf\" style=\"width:325px;\">", "", H},
    {W, kSettingsPage.title, "编辑框40", Kind::Edit, 700, 220, 200, 24, "", "", H},
    {W, kSettingsPage.title, "编辑框41", Kind::Edit, 700, 250, 200, 24, "", "", H},
    {W, kSettingsPage.title, kHiddenSwitch1.name, Kind::Button, 700, 280, 139, 32, "获取中", "", H},
    {W, kSettingsPage.title, kHiddenSwitch2.name, Kind::Button, 700, 320, 139, 32, "获取中", "", H},
    {W, kSettingsPage.title, kForcedChargeButton.name, Kind::Button, 700, 360, 139, 32, "√开启了强制收费模式", "", H},
    {W, kSettingsPage.title, "标签29", Kind::Label, 700, 400, 300, 24, "网赚模式：按推广IP数计算收益。", "", H},
    {W, kSettingsPage.title, "标签36", Kind::Label, 700, 430, 300, 24, "收费模式：下载者开通VIP后您获得提成。", "", H},
    {W, kSettingsPage.title, "标签37", Kind::Label, 700, 460, 300, 24, "个人存储模式：文件仅供自己存储使用。", "", H},
    // page 提现
    {W, kWithdrawalPage.title, kPayoutEmailBox.name, Kind::Edit, 700, 10, 200, 24, "123", "", H},
    {W, kWithdrawalPage.title, "标签27", Kind::Label, 700, 40, 300, 24, "邮箱：（作为联系方式和接收相关通知，重要！）", "", H},
    // page 搜索
    {W, kSearchPage.title, kSearchHitPattern.name, Kind::Edit, 700, 10, 200, 24,
     browser::patterns::kSearchHit, "", H},
    {W, kSearchPage.title, kSearchNameMarker.name, Kind::Edit, 700, 40, 200, 24, browser::patterns::kSearchNameMarker, "", H},
    {W, kSearchPage.title, kSearchIdMarker.name, Kind::Edit, 700, 70, 200, 24, browser::patterns::kSearchIdMarker, "", H},
    {W, kSearchPage.title, kSearchHitPages.name, Kind::Combo, 700, 100, 200, 20, "", "", H},
    // page 记录
    {W, kRecordsPage.title, kRecordPattern.name, Kind::Edit, 700, 10, 200, 24,
     "<div style=\"float:left; padding-top:5px;\">.*?&nbsp;&nbsp&nbsp;.*?</div></div>", "", H},
    // page 反馈
    {W, kFeedbackPage.title, kAnnouncementText.name, Kind::MultiEdit, 700, 10, 200, 80, "", "", H},
    // working values and announcement markers
    {W, "", kListingAddress.name, Kind::Edit, 1184, 1050, 300, 24, "", "", H},
    {W, "", kAccessNoticeMarker.name, Kind::Edit, 1184, 1080, 200, 24, "id=\"body\" cols=\"60\" rows=\"10\">", "", H},
    {W, "", kAnnouncementStart.name, Kind::Edit, 1184, 1110, 200, 24, "公告列表：", "", H},
    {W, "", kAnnouncementEnd.name, Kind::Edit, 1184, 1140, 200, 24, "<div title=\"今天不再显示该窗口\"", "", H},
    {W, "", kStripAnnouncementButton.name, Kind::Button, 1184, 1170, 80, 32, "", "", H},
    {W, "", "按钮16", Kind::Button, 1184, 1210, 80, 32, "下载列表", "", H},
    {W, kDownloadsPage.title, "标签45", Kind::Label, 700, 10, 200, 24, "下载速度：0KB", "", H},

    // timers (interval in w)
    {W, "", kSessionTimer.name, Kind::Timer, 0, 0, 30000, 0, "", ""},
    {W, kDownloadsPage.title, kDownloadTimer.name, Kind::Timer, 0, 0, 2000, 0, "", ""},
    {W, "", kUploadSpeedTimer.name, Kind::Timer, 0, 0, 0, 0, "", ""},
    {W, "", "时钟2", Kind::Timer, 0, 0, 1500, 0, "", ""},

    // popup menus
    {W, "", kFileMenu.name, Kind::Menu, 0, 0, 0, 0, "",
     "删除选中文件\n打开选中文件(网页)\n添加进下载列表\n移动选中文件\n获取文件分享链接\n复制文件直链\n上传文件到此\n创建外链"},
    {W, "", kFolderMenu.name, Kind::Menu, 0, 0, 0, 0, "",
     "刷新文件夹\n打开文件夹(网页)\n删除文件夹\n重命名\n获取文件夹分享链接\n创建文件夹\n上传文件到此处\n创建外链文件\n下载该文件夹"},
    {W, "", kSearchMenu.name, Kind::Menu, 0, 0, 0, 0, "", "打开"},
    {W, "", kTrayMenu.name, Kind::Menu, 0, 0, 0, 0, "", "登录网页版\n打开软件\n传输设置\n注销\n退出"},
    {W, "", kDownloadedMenu.name, Kind::Menu, 0, 0, 0, 0, "", "打开文件\n访问文件夹"},
    {W, "", kDownloadingMenu.name, Kind::Menu, 0, 0, 0, 0, "",
     "删除任务\n暂停任务\n继续任务\n上移\n下移\n移至顶部\n移至底部\n重试"},
    {W, "", kUploadQueueMenu.name, Kind::Menu, 0, 0, 0, 0, "",
     "删除该上传任务\n暂停任务\n继续任务\n上移\n下移\n移至顶部\n移至底部\n重试"},
    {W, "", kUploadDoneMenu.name, Kind::Menu, 0, 0, 0, 0, "",
     "打开该文件\n打开文件夹\n打开网页文件链接\n复制网页分享链接\n复制该文件直链"},
};

const std::size_t kMainHiddenRowCount = sizeof(kMainHiddenRows) / sizeof(kMainHiddenRows[0]);

#undef H
#undef W

}  // namespace tarnwick::app
