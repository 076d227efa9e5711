// Rows of the main window: pages, visible controls, hidden text slots, timers
// and popup menus. Positions are relative to the row's container.
#include "app/names/main_window.h"
#include "app/qt/catalogue_rows.h"

namespace tarnwick::app {

using namespace names::main;

#define W kTitle

const ControlDef kMainRows[] = {
    {W, "", W, Kind::Window, 0, 0, 665, 422, "", ""},
    {W, "", kPages.name, Kind::Tab, 13, 17, 635, 370, "",
     "上传文件\n文件\n个人\n下线\n安全\n提现\n设置\n反馈\n搜索\n记录\n下载列表"},
    {W, kUploadPage.title, kUploadTabs.name, Kind::Tab, 9, 27, 614, 335, "",
     "客户端上传\n最近已完成（客户端）\n网页上传\n最近已完成（网页）"},
    {W, kDownloadsPage.title, kDownloadTabs.name, Kind::Tab, 15, 27, 600, 325, "", "下载中\n已完成"},

    // 客户端上传
    {W, kClientUploadPage.title, kChooseFilesButton.name, Kind::Button, 16, 38, 96, 32, "选择文件", ""},
    {W, kClientUploadPage.title, kUploadButton.name, Kind::Button, 128, 38, 104, 32, "上传", ""},
    {W, kClientUploadPage.title, kInstantUploadCheck.name, Kind::Check, 264, 48, 120, 24, "使用极速秒传", ""},
    {W, kClientUploadPage.title, kUploadTargetLabel.name, Kind::Label, 370, 47, 192, 24, "上传至：默认文件夹", ""},
    {W, kClientUploadPage.title, "标签1", Kind::Label, 17, 78, 72, 24, "选择上传文件", ""},
    {W, kClientUploadPage.title, kUploadFolderButton.name, Kind::Button, 394, 76, 88, 24, "选择文件夹", ""},
    {W, kClientUploadPage.title, kUploadSettingsButton.name, Kind::Button, 490, 76, 88, 24, "传输设置", ""},
    {W, kClientUploadPage.title, kUploadNames.name, Kind::ListBox, 14, 104, 564, 170, "", ""},
    {W, kClientUploadPage.title, kUploadQueueView.name, Kind::ModelView, 14, 103, 566, 174, "",
     "文件=250\n大小=70\n进度=90\n速度=76\n状态=60"},
    {W, kClientUploadPage.title, kUploadProgressLabel.name, Kind::Label, 16, 277, 80, 24, "进度：0%", ""},
    {W, kClientUploadPage.title, kUploadSpeedLabel.name, Kind::Label, 96, 277, 264, 24, "上传速度：0KB", ""},
    {W, kClientUploadPage.title, kUploadSizeLabel.name, Kind::Label, 248, 276, 128, 24, "文件大小：0KB", ""},
    {W, kClientUploadPage.title, kUploadStateLabel.name, Kind::Label, 384, 277, 192, 24, "状态：准备就绪!", ""},
    {W, kClientUploadPage.title, kUploadProgressBar.name, Kind::Progress, 14, 302, 564, 20, "", ""},
    {W, kClientDonePage.title, kUploadDoneView.name, Kind::ListView, 10, 33, 591, 280, "",
     "文件名=300\n大小=80\npid=80\n备注=100"},
    {W, kWebUploadPage.title, kWebUploadBrowser.name, Kind::Browser, 8, 32, 592, 295, "", ""},
    {W, kWebDonePage.title, kWebDoneBrowser.name, Kind::Browser, 8, 32, 592, 295, "", ""},
    {W, kUploadPage.title, "速度透明标签", Kind::Label, 120, 195, 222, 12, "", ""},
    // 文件
    {W, kFilesPage.title, "标签9", Kind::Label, 18, 29, 72, 24, "我的文件夹：", ""},
    {W, kFilesPage.title, kFolderNames.name, Kind::ListBox, 18, 53, 120, 306, "", ""},
    {W, kFilesPage.title, kFolderView.name, Kind::ListView, 18, 52, 158, 311, "", "名称=300"},
    {W, kFilesPage.title, "标签10", Kind::Label, 187, 26, 80, 24, "我的文件：", ""},
    {W, kFilesPage.title, kFileNames.name, Kind::ListBox, 186, 52, 425, 260, "", ""},
    {W, kFilesPage.title, kFileView.name, Kind::ListView, 186, 51, 434, 276, "",
     "文件名=250\n大小=50\n日期=160\n下载量=50"},
    {W, kFilesPage.title, kFirstPageButton.name, Kind::Button, 185, 331, 62, 27, "首页", ""},
    {W, kFilesPage.title, kPageSelector.name, Kind::Combo, 254, 335, 48, 20, "", ""},
    {W, kFilesPage.title, kPreviousPageButton.name, Kind::Button, 312, 332, 75, 27, "上一页", ""},
    {W, kFilesPage.title, kNextPageButton.name, Kind::Button, 392, 332, 70, 27, "下一页", ""},
    // 个人
    {W, kPersonalPage.title, kPersonalBrowser.name, Kind::Browser, 11, 31, 612, 320, "", ""},
    {W, kPersonalPage.title, kVipButton.name, Kind::Button, 433, 320, 176, 30, "开通VIP", ""},
    // 下线
    {W, kReferralPage.title, "标签17", Kind::Label, 19, 32, 128, 24, "推广链接：", ""},
    {W, kReferralPage.title, kInvitationBox.name, Kind::MultiEdit, 19, 59, 393, 44, "", ""},
    {W, kReferralPage.title, kCopyInvitationButton.name, Kind::Button, 323, 111, 80, 32, "复制", ""},
    {W, kReferralPage.title, "标签18", Kind::Label, 22, 161, 384, 88,
     "发送这个链接给您的朋友，您将赚取 90% 下线提成，以及永久获得该用户文件推广6%佣金。\r\n", ""},
    {W, kReferralPage.title, "图片框1", Kind::Picture, 20, 205, 560, 80, "", ""},
    {W, kReferralPage.title, "标签43", Kind::Label, 27, 292, 296, 24, "图片地址：(720*90)", ""},
    {W, kReferralPage.title, kBannerAddressBox.name, Kind::Edit, 26, 319, 334, 29, "{MainHost}/tupian/bzfb.jpg", ""},
    {W, kReferralPage.title, kOpenBannerButton.name, Kind::Button, 371, 315, 80, 32, "访问", ""},
    // 安全
    {W, kSecurityPage.title, kSecurityHeading.name, Kind::Label, 19, 31, 400, 20, "关于账号安全：", ""},
    {W, kSecurityPage.title, "标签20", Kind::Label, 20, 50, 400, 20, "密保设置后无法修改，密码可以通过“找回密码”重置。", ""},
    {W, kSecurityPage.title, kSecurityStatusLabel.name, Kind::Label, 19, 70, 400, 20, "密保状态：", ""},
    {W, kSecurityPage.title, "", Kind::Label, 19, 95, 200, 20, "密保问题：", ""},
    {W, kSecurityPage.title, kQuestionBox.name, Kind::Edit, 19, 115, 200, 24, "", ""},
    {W, kSecurityPage.title, "", Kind::Label, 19, 143, 200, 20, "密保答案：", ""},
    {W, kSecurityPage.title, kAnswerBox.name, Kind::Edit, 19, 163, 200, 24, "", ""},
    {W, kSecurityPage.title, kSetQuestionButton.name, Kind::Button, 235, 151, 80, 32, "设置", ""},
    {W, kSecurityPage.title, "", Kind::Label, 16, 205, 200, 20, "新密码：", ""},
    {W, kSecurityPage.title, kNewPasswordBox.name, Kind::Edit, 16, 225, 200, 24, "", "", Password},
    {W, kSecurityPage.title, "", Kind::Label, 16, 253, 200, 20, "再次确认：", ""},
    {W, kSecurityPage.title, kPasswordRepeatBox.name, Kind::Edit, 16, 273, 200, 24, "", "", Password},
    {W, kSecurityPage.title, kSetPasswordButton.name, Kind::Button, 232, 261, 80, 32, "设置", ""},
    {W, kSecurityPage.title, "", Kind::Label, 16, 308, 200, 20, "邮箱地址：", ""},
    {W, kSecurityPage.title, kEmailBox.name, Kind::Edit, 16, 328, 200, 24, "", ""},
    {W, kSecurityPage.title, kSetEmailButton.name, Kind::Button, 232, 320, 80, 32, "设置", ""},
    // 提现
    {W, kWithdrawalPage.title, kWithdrawalRulesBox.name, Kind::MultiEdit, 19, 31, 608, 136, "", "", ReadOnly},
    {W, kWithdrawalPage.title, "", Kind::Label, 17, 180, 130, 20, "支付宝：", ""},
    {W, kWithdrawalPage.title, kAlipayBox.name, Kind::Edit, 17, 203, 130, 24, "", ""},
    {W, kWithdrawalPage.title, "", Kind::Label, 151, 180, 130, 20, "重复确认：", ""},
    {W, kWithdrawalPage.title, kAlipayRepeatBox.name, Kind::Edit, 151, 203, 130, 24, "", ""},
    {W, kWithdrawalPage.title, "", Kind::Label, 296, 180, 130, 20, "真实姓名：", ""},
    {W, kWithdrawalPage.title, kHolderBox.name, Kind::Edit, 296, 203, 130, 24, "", ""},
    {W, kWithdrawalPage.title, kWithdrawnLabel.name, Kind::Label, 23, 263, 148, 24, "已提现：0元", ""},
    {W, kWithdrawalPage.title, kWithdrawalRecordsButton.name, Kind::Button, 195, 260, 80, 32, "提现记录", ""},
    {W, kWithdrawalPage.title, kSetWithdrawalButton.name, Kind::Button, 299, 259, 80, 32, "设置", ""},
    // 设置
    {W, kSettingsPage.title, kModeHeading.name, Kind::Label, 26, 34, 336, 24, "网盘模式和权限：", ""},
    {W, kSettingsPage.title, kModeSelector.name, Kind::Combo, 27, 63, 336, 20, "",
     "网赚1，高收益，广告多，推广单价1000IP/150元。\n网赚2，收益一般，广告少，推广单价1000IP/30元。\n"
     "收费模式3，别人下载您的文件必须开通VIP，获得90%提成。\n个人存储模式，回归天然绿色无污染状态。"},
    {W, kSettingsPage.title, kPermissionSelector.name, Kind::Combo, 24, 96, 227, 20, "", "允许访问\n禁止访问\n只能电脑访问\n只能手机访问"},
    {W, kSettingsPage.title, kSetModeButton.name, Kind::Button, 266, 95, 80, 32, "重置", ""},
    {W, kSettingsPage.title, kAnnouncementButton.name, Kind::Button, 268, 143, 80, 32, "公告", ""},
    {W, kSettingsPage.title, "", Kind::Label, 19, 156, 216, 20, "密码：", ""},
    {W, kSettingsPage.title, kAccessPasswordBox.name, Kind::Edit, 19, 176, 216, 29, "", ""},
    {W, kSettingsPage.title, "", Kind::Label, 19, 220, 216, 20, "公告：", ""},
    {W, kSettingsPage.title, kAccessNoticeBox.name, Kind::MultiEdit, 19, 240, 216, 79, "", ""},
    {W, kSettingsPage.title, kSetAccessPasswordButton.name, Kind::Button, 266, 270, 80, 32, "重置", ""},
    {W, kSettingsPage.title, kShowNameLabel.name, Kind::Label, 426, 40, 139, 24, "用户名公开：", ""},
    {W, kSettingsPage.title, kShowNameButton.name, Kind::Button, 424, 71, 139, 32, "获取中", ""},
    {W, kSettingsPage.title, kShowDownloadsLabel.name, Kind::Label, 422, 114, 139, 24, "下载量公开：", ""},
    {W, kSettingsPage.title, kShowDownloadsButton.name, Kind::Button, 423, 145, 139, 30, "获取中", ""},
    {W, kSettingsPage.title, "标签40", Kind::Label, 424, 184, 95, 24, "皮肤选择：", ""},
    {W, kSettingsPage.title, kSkinSelector.name, Kind::Combo, 424, 211, 95, 20, "", ""},
    {W, kSettingsPage.title, "标签41", Kind::Label, 424, 240, 60, 24, "流量充值：", ""},
    {W, kSettingsPage.title, kCardCodeBox.name, Kind::Edit, 425, 266, 168, 24, "", ""},
    {W, kSettingsPage.title, "超级链接框2", Kind::Link, 485, 240, 61, 24, "[购买卡密]", "{MainHost}/vip.php"},
    {W, kSettingsPage.title, kRechargeButton.name, Kind::Button, 427, 295, 139, 30, "确定", ""},
    // 反馈
    {W, kFeedbackPage.title, "标签52", Kind::Label, 19, 39, 600, 32, "反馈建议投诉信箱：", ""},
    {W, kFeedbackPage.title, "标签51", Kind::Label, 19, 71, 600, 32,
     "本页受理Tarnwick出现的反动、色情、侵权等违法违规问题，以及会员使用过程中遇到的问题。\r\n"
     "提交后在24小时内进行答复并发送到您的邮箱。", ""},
    {W, kFeedbackPage.title, "", Kind::Label, 19, 113, 232, 20, "您的邮箱：", ""},
    {W, kFeedbackPage.title, kFeedbackEmailBox.name, Kind::Edit, 19, 135, 232, 32, "", ""},
    {W, kFeedbackPage.title, "", Kind::Label, 21, 181, 232, 20, "内容：", ""},
    {W, kFeedbackPage.title, kFeedbackTextBox.name, Kind::MultiEdit, 21, 203, 232, 84, "", ""},
    {W, kFeedbackPage.title, "超级链接框1", Kind::Link, 283, 143, 208, 24, "[联系在线客服]", "{MainHost}/kefu.php"},
    {W, kFeedbackPage.title, kSendFeedbackButton.name, Kind::Button, 171, 298, 80, 32, "确定", ""},
    // 搜索
    {W, kSearchPage.title, "标签38", Kind::Label, 17, 34, 50, 24, "关键字：", ""},
    {W, kSearchPage.title, kSearchBox.name, Kind::Edit, 68, 32, 359, 27, "", ""},
    {W, kSearchPage.title, kSearchButton.name, Kind::Button, 439, 30, 80, 29, "搜索", ""},
    {W, kSearchPage.title, kSearchKindSelector.name, Kind::Combo, 531, 35, 72, 20, "", "文件\n文件夹"},
    {W, kSearchPage.title, kSearchHits.name, Kind::ListBox, 19, 74, 593, 274, "", ""},
    // 记录
    {W, kRecordsPage.title, kRecordList.name, Kind::ListBox, 19, 37, 592, 261, "", ""},
    {W, kRecordsPage.title, kRecordPageBox.name, Kind::Edit, 35, 316, 48, 20, "", ""},
    {W, kRecordsPage.title, kFirstRecordsButton.name, Kind::Button, 99, 310, 80, 31, "首页", ""},
    {W, kRecordsPage.title, kPreviousRecordsButton.name, Kind::Button, 192, 310, 80, 31, "上一页", ""},
    {W, kRecordsPage.title, kNextRecordsButton.name, Kind::Button, 288, 310, 80, 31, "下一页", ""},
    // 下载列表
    {W, kDownloadingPage.title, kDownloadQueueView.name, Kind::ModelView, 9, 41, 576, 195, "",
     "文件名=200\n大小=80\n下载进度=80\npid=80\n下载速度=100"},
    {W, kDownloadingPage.title, kDownloadSettingsButton.name, Kind::Button, 497, 241, 88, 26, "传输设置", ""},
    {W, kDownloadingPage.title, "标签44", Kind::Label, 15, 277, 70, 24, "保存位置：", ""},
    {W, kDownloadingPage.title, kSaveFolderBox.name, Kind::Edit, 85, 275, 200, 27, "", ""},
    {W, kDownloadingPage.title, kChooseFolderButton.name, Kind::Button, 301, 275, 53, 28, "...", ""},
    {W, kDownloadingPage.title, kStartDownloadButton.name, Kind::Button, 366, 275, 101, 28, "开始下载", ""},
    {W, kDownloadingPage.title, kSameNameSelector.name, Kind::Combo, 481, 278, 97, 20, "", "同名覆盖\n同名更改"},
    {W, kDownloadedPage.title, kDownloadedView.name, Kind::ListView, 10, 32, 576, 279, "", "文件名=200\n文件地址=360"},
};

const std::size_t kMainRowCount = sizeof(kMainRows) / sizeof(kMainRows[0]);

#undef W

}  // namespace tarnwick::app
