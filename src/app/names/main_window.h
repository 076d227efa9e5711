#pragma once
// Names of the main window's controls, pages, list columns and menu items
// that code uses (the catalogue rows src/app/qt/catalogue_main.cpp and
// catalogue_hidden.cpp use them too).
#include "app/names/name.h"
#include "version.h"

namespace tarnwick::app::names::main {

inline constexpr const char* kTitle = TARNWICK_MAIN_WINDOW_TITLE;
#define TARNWICK_MAIN(id, name, kind) TARNWICK_CONTROL(id, kTitle, name, kind)

// Tab controls and their pages.
TARNWICK_MAIN(kPages, "选择夹1", Tab);
TARNWICK_PAGE(kUploadPage, kPages, "上传文件");
TARNWICK_PAGE(kFilesPage, kPages, "文件");
TARNWICK_PAGE(kPersonalPage, kPages, "个人");
TARNWICK_PAGE(kReferralPage, kPages, "下线");
TARNWICK_PAGE(kSecurityPage, kPages, "安全");
TARNWICK_PAGE(kWithdrawalPage, kPages, "提现");
TARNWICK_PAGE(kSettingsPage, kPages, "设置");
TARNWICK_PAGE(kFeedbackPage, kPages, "反馈");
TARNWICK_PAGE(kSearchPage, kPages, "搜索");
TARNWICK_PAGE(kRecordsPage, kPages, "记录");
TARNWICK_PAGE(kDownloadsPage, kPages, "下载列表");
TARNWICK_MAIN(kUploadTabs, "选择夹3", Tab);
TARNWICK_PAGE(kClientUploadPage, kUploadTabs, "客户端上传");
TARNWICK_PAGE(kClientDonePage, kUploadTabs, "最近已完成（客户端）");
TARNWICK_PAGE(kWebUploadPage, kUploadTabs, "网页上传");
TARNWICK_PAGE(kWebDonePage, kUploadTabs, "最近已完成（网页）");
TARNWICK_MAIN(kDownloadTabs, "选择夹2", Tab);
TARNWICK_PAGE(kDownloadingPage, kDownloadTabs, "下载中");
TARNWICK_PAGE(kDownloadedPage, kDownloadTabs, "已完成");

// Log boxes.
TARNWICK_MAIN(kLogBox, "日志编辑框", MultiEdit);
TARNWICK_MAIN(kStatusLog, "编辑框48", MultiEdit);

// 客户端上传 and the upload lists.
TARNWICK_MAIN(kChooseFilesButton, "选择文件", Button);
TARNWICK_MAIN(kUploadFolderButton, "选择文件夹", Button);
TARNWICK_MAIN(kUploadButton, "上传按钮", Button);
TARNWICK_MAIN(kInstantUploadCheck, "选择框1", Check);
TARNWICK_MAIN(kUploadTargetLabel, "标签48", Label);
TARNWICK_MAIN(kUploadNames, "列表框1", ListBox);
TARNWICK_MAIN(kUploadQueueView, "超级列表框6", ModelView);
TARNWICK_COLUMN(kUploadQueuePath, kUploadQueueView, 0, "文件");
TARNWICK_COLUMN(kUploadQueueSize, kUploadQueueView, 1, "大小");
TARNWICK_COLUMN(kUploadQueueProgress, kUploadQueueView, 2, "进度");
TARNWICK_COLUMN(kUploadQueueSpeed, kUploadQueueView, 3, "速度");
TARNWICK_COLUMN(kUploadQueueState, kUploadQueueView, 4, "状态");
TARNWICK_MAIN(kUploadProgressLabel, "标签46", Label);
TARNWICK_MAIN(kUploadSpeedLabel, "标签47", Label);
TARNWICK_MAIN(kUploadSizeLabel, "标签50", Label);
TARNWICK_MAIN(kUploadStateLabel, "标签49", Label);
TARNWICK_MAIN(kUploadProgressBar, "进度条", Progress);
TARNWICK_MAIN(kUploadSettingsButton, "上传设置按钮", Button);
TARNWICK_MAIN(kUploadSpeedTimer, "上传速度时钟", Timer);
TARNWICK_MAIN(kUploadDoneView, "超级列表框4", ListView);
TARNWICK_COLUMN(kUploadDoneName, kUploadDoneView, 0, "文件名");
TARNWICK_COLUMN(kUploadDoneSize, kUploadDoneView, 1, "大小");
TARNWICK_COLUMN(kUploadDoneId, kUploadDoneView, 2, "pid");
TARNWICK_COLUMN(kUploadDoneNote, kUploadDoneView, 3, "备注");
TARNWICK_MAIN(kWebUploadBrowser, "超文本浏览框1", Browser);
TARNWICK_MAIN(kWebDoneBrowser, "超文本浏览框3", Browser);
// Hidden: the FTP login and the file being sent.
TARNWICK_MAIN(kFtpHostBox, "服务器ip编辑框", Edit);
TARNWICK_MAIN(kFtpUserBox, "用户名编辑框", Edit);
TARNWICK_MAIN(kFtpPasswordBox, "密码编辑框", Edit);
TARNWICK_MAIN(kFilePathBox, "文件路径编辑框", Edit);
TARNWICK_MAIN(kWelcomeLabel, "标签7", Label);
TARNWICK_MAIN(kChosenFolderLabel, "标签8", Label);
TARNWICK_MAIN(kCreateFolderButton, "按钮1", Button);
TARNWICK_MAIN(kOpenWebPageButton, "按钮2", Button);

TARNWICK_MAIN(kTrayButton, "按钮33", Button);

// 文件
TARNWICK_MAIN(kFolderNames, "列表框2", ListBox);
TARNWICK_MAIN(kFolderView, "超级列表框5", ListView);
TARNWICK_MAIN(kFileNames, "列表框3", ListBox);
TARNWICK_MAIN(kFileView, "超级列表框1", ListView);
TARNWICK_COLUMN(kFileName, kFileView, 0, "文件名");
TARNWICK_COLUMN(kFileSize, kFileView, 1, "大小");
TARNWICK_COLUMN(kFileDate, kFileView, 2, "日期");
TARNWICK_COLUMN(kFileDownloads, kFileView, 3, "下载量");
TARNWICK_MAIN(kFirstPageButton, "按钮3", Button);
TARNWICK_MAIN(kPageSelector, "组合框1", Combo);
TARNWICK_MAIN(kPreviousPageButton, "按钮27", Button);
TARNWICK_MAIN(kNextPageButton, "按钮26", Button);
// Hidden: patterns, the listing address and page, the typed paging.
TARNWICK_MAIN(kFolderPattern, "编辑框1", Edit);
TARNWICK_MAIN(kFileRowPattern, "编辑框5", Edit);
TARNWICK_MAIN(kListingAddress, "编辑框3", Edit);
TARNWICK_MAIN(kListingPage, "编辑框39", Edit);
TARNWICK_MAIN(kTypedPage, "编辑框2", Edit);
TARNWICK_MAIN(kTypedPreviousButton, "按钮4", Button);
TARNWICK_MAIN(kTypedNextButton, "按钮5", Button);
TARNWICK_MAIN(kTypedGoButton, "按钮6", Button);
TARNWICK_MAIN(kMoveFilesButton, "按钮30", Button);

// 个人
TARNWICK_MAIN(kPersonalBrowser, "超文本浏览框2", Browser);
TARNWICK_MAIN(kVipButton, "按钮7", Button);
TARNWICK_MAIN(kModeLabel, "标签12", Label);
TARNWICK_MAIN(kPlanLabel, "标签13", Label);
TARNWICK_MAIN(kTotalsLabel, "标签14", Label);
TARNWICK_MAIN(kTodayLabel, "标签15", Label);
TARNWICK_MAIN(kReferralLabel, "标签16", Label);

// 下线
TARNWICK_MAIN(kInvitationBox, "编辑框4", MultiEdit);
TARNWICK_MAIN(kCopyInvitationButton, "按钮17", Button);
TARNWICK_MAIN(kBannerAddressBox, "编辑框47", Edit);
TARNWICK_MAIN(kOpenBannerButton, "按钮32", Button);

// 安全
TARNWICK_MAIN(kSecurityHeading, "标签19", Label);
TARNWICK_MAIN(kSecurityStatusLabel, "标签21", Label);
TARNWICK_MAIN(kQuestionBox, "编辑框6", Edit);
TARNWICK_MAIN(kAnswerBox, "编辑框7", Edit);
TARNWICK_MAIN(kSetQuestionButton, "按钮8", Button);
TARNWICK_MAIN(kNewPasswordBox, "编辑框29", Edit);
TARNWICK_MAIN(kPasswordRepeatBox, "编辑框28", Edit);
TARNWICK_MAIN(kSetPasswordButton, "按钮18", Button);
TARNWICK_MAIN(kEmailBox, "编辑框45", Edit);
TARNWICK_MAIN(kSetEmailButton, "按钮31", Button);
TARNWICK_MAIN(kSecurityMarker, "编辑框8", Edit);

// 提现
TARNWICK_MAIN(kWithdrawalRulesBox, "编辑框9", MultiEdit);
TARNWICK_MAIN(kAlipayBox, "编辑框10", Edit);
TARNWICK_MAIN(kAlipayRepeatBox, "编辑框11", Edit);
TARNWICK_MAIN(kHolderBox, "编辑框12", Edit);
TARNWICK_MAIN(kPayoutEmailBox, "编辑框13", Edit);
TARNWICK_MAIN(kWithdrawnLabel, "标签28", Label);
TARNWICK_MAIN(kWithdrawalRecordsButton, "按钮10", Button);
TARNWICK_MAIN(kSetWithdrawalButton, "按钮9", Button);
TARNWICK_MAIN(kAlipayMarker, "编辑框14", Edit);
TARNWICK_MAIN(kHolderMarker, "编辑框15", Edit);
TARNWICK_MAIN(kPayoutEmailMarker, "编辑框16", Edit);
TARNWICK_MAIN(kWithdrawnMarker, "编辑框17", Edit);

// 设置
TARNWICK_MAIN(kModeHeading, "标签39", Label);
TARNWICK_MAIN(kModeSelector, "组合框2", Combo);
TARNWICK_MAIN(kPermissionSelector, "组合框7", Combo);
TARNWICK_MAIN(kSetModeButton, "按钮22", Button);
TARNWICK_MAIN(kAnnouncementButton, "按钮35", Button);
TARNWICK_MAIN(kSetAccessPasswordButton, "按钮15", Button);
TARNWICK_MAIN(kShowNameButton, "按钮13", Button);
TARNWICK_MAIN(kShowNameLabel, "标签30", Label);
TARNWICK_MAIN(kShowDownloadsButton, "按钮14", Button);
TARNWICK_MAIN(kShowDownloadsLabel, "标签31", Label);
TARNWICK_MAIN(kSkinSelector, "组合框3", Combo);
TARNWICK_MAIN(kCardCodeBox, "编辑框44", Edit);
TARNWICK_MAIN(kRechargeButton, "按钮29", Button);
TARNWICK_MAIN(kAccessPasswordBox, "编辑框24", Edit);
TARNWICK_MAIN(kAccessNoticeBox, "编辑框25", MultiEdit);
TARNWICK_MAIN(kAccessPasswordMarker, "编辑框26", Edit);
// Hidden: the left markers of the texts the settings page reports.
TARNWICK_MAIN(kHiddenSwitch1Marker, "编辑框18", Edit);
TARNWICK_MAIN(kHiddenSwitch2Marker, "编辑框19", Edit);
TARNWICK_MAIN(kShowNameLabelMarker, "编辑框20", Edit);
TARNWICK_MAIN(kShowNameMarker, "编辑框21", Edit);
TARNWICK_MAIN(kShowDownloadsLabelMarker, "编辑框22", Edit);
TARNWICK_MAIN(kShowDownloadsMarker, "编辑框23", Edit);
TARNWICK_MAIN(kAccessNoticeMarker, "编辑框27", Edit);
TARNWICK_MAIN(kForcedChargeMarker, "编辑框30", Edit);
TARNWICK_MAIN(kHiddenSwitch1, "按钮11", Button);
TARNWICK_MAIN(kHiddenSwitch2, "按钮12", Button);
TARNWICK_MAIN(kForcedChargeButton, "按钮19", Button);
// Announcements: the page's markers, its text, and the button that strips it.
TARNWICK_MAIN(kAnnouncementStart, "编辑框31", Edit);
TARNWICK_MAIN(kAnnouncementEnd, "编辑框32", Edit);
TARNWICK_MAIN(kAnnouncementText, "编辑框33", MultiEdit);
TARNWICK_MAIN(kStripAnnouncementButton, "按钮20", Button);

// 反馈
TARNWICK_MAIN(kFeedbackEmailBox, "编辑框50", Edit);
TARNWICK_MAIN(kFeedbackTextBox, "编辑框51", MultiEdit);
TARNWICK_MAIN(kSendFeedbackButton, "按钮36", Button);

// 搜索
TARNWICK_MAIN(kSearchBox, "编辑框34", Edit);
TARNWICK_MAIN(kSearchButton, "按钮21", Button);
TARNWICK_MAIN(kSearchKindSelector, "组合框4", Combo);
TARNWICK_MAIN(kSearchHits, "列表框4", ListBox);
TARNWICK_MAIN(kSearchHitPattern, "编辑框35", Edit);
TARNWICK_MAIN(kSearchNameMarker, "编辑框36", Edit);
TARNWICK_MAIN(kSearchIdMarker, "编辑框37", Edit);
TARNWICK_MAIN(kSearchHitPages, "组合框5", Combo);

// 记录
TARNWICK_MAIN(kRecordList, "列表框5", ListBox);
TARNWICK_MAIN(kRecordPageBox, "编辑框43", Edit);
TARNWICK_MAIN(kFirstRecordsButton, "按钮23", Button);
TARNWICK_MAIN(kPreviousRecordsButton, "按钮24", Button);
TARNWICK_MAIN(kNextRecordsButton, "按钮25", Button);
TARNWICK_MAIN(kRecordPattern, "编辑框42", Edit);

// 下载列表
TARNWICK_MAIN(kDownloadQueueView, "超级列表框2", ModelView);
TARNWICK_COLUMN(kDownloadName, kDownloadQueueView, 0, "文件名");
TARNWICK_COLUMN(kDownloadSize, kDownloadQueueView, 1, "大小");
TARNWICK_COLUMN(kDownloadProgress, kDownloadQueueView, 2, "下载进度");
TARNWICK_COLUMN(kDownloadId, kDownloadQueueView, 3, "pid");
TARNWICK_COLUMN(kDownloadSpeed, kDownloadQueueView, 4, "下载速度");
TARNWICK_MAIN(kSaveFolderBox, "编辑框49", Edit);
TARNWICK_MAIN(kChooseFolderButton, "按钮34", Button);
TARNWICK_MAIN(kStartDownloadButton, "按钮28", Button);
TARNWICK_MAIN(kDownloadSettingsButton, "下载设置按钮", Button);
TARNWICK_MAIN(kSameNameSelector, "组合框6", Combo);
TARNWICK_MAIN(kDownloadedView, "超级列表框3", ListView);
TARNWICK_COLUMN(kDownloadedName, kDownloadedView, 0, "文件名");
TARNWICK_COLUMN(kDownloadedAddress, kDownloadedView, 1, "文件地址");
TARNWICK_MAIN(kDownloadTimer, "时钟5", Timer);

// Timers of the session.
TARNWICK_MAIN(kSessionTimer, "时钟3", Timer);

// Popup menus and their items.
TARNWICK_MAIN(kFileMenu, "菜单", Menu);
TARNWICK_MENU_ITEM(kDeleteFiles, kFileMenu, "删除选中文件");
TARNWICK_MENU_ITEM(kOpenFileWebPage, kFileMenu, "打开选中文件(网页)");
TARNWICK_MENU_ITEM(kAddToDownloads, kFileMenu, "添加进下载列表");
TARNWICK_MENU_ITEM(kMoveFiles, kFileMenu, "移动选中文件");
TARNWICK_MENU_ITEM(kCopyFileShareLink, kFileMenu, "获取文件分享链接");
TARNWICK_MENU_ITEM(kCopyFileDirectLink, kFileMenu, "复制文件直链");
TARNWICK_MENU_ITEM(kUploadToFileFolder, kFileMenu, "上传文件到此");
TARNWICK_MENU_ITEM(kCreateLinkFile, kFileMenu, "创建外链");
TARNWICK_MAIN(kFolderMenu, "目录", Menu);
TARNWICK_MENU_ITEM(kRefreshFolders, kFolderMenu, "刷新文件夹");
TARNWICK_MENU_ITEM(kOpenFolderWebPage, kFolderMenu, "打开文件夹(网页)");
TARNWICK_MENU_ITEM(kDeleteFolder, kFolderMenu, "删除文件夹");
TARNWICK_MENU_ITEM(kRenameFolder, kFolderMenu, "重命名");
TARNWICK_MENU_ITEM(kCopyFolderShareLink, kFolderMenu, "获取文件夹分享链接");
TARNWICK_MENU_ITEM(kCreateFolder, kFolderMenu, "创建文件夹");
TARNWICK_MENU_ITEM(kUploadToFolder, kFolderMenu, "上传文件到此处");
TARNWICK_MENU_ITEM(kCreateLinkFileInFolder, kFolderMenu, "创建外链文件");
TARNWICK_MENU_ITEM(kDownloadCloudFolder, kFolderMenu, "下载该文件夹");
TARNWICK_MAIN(kSearchMenu, "搜索", Menu);
TARNWICK_MENU_ITEM(kOpenSearchHit, kSearchMenu, "打开");
TARNWICK_MAIN(kTrayMenu, "托盘", Menu);
TARNWICK_MENU_ITEM(kTrayWebVersion, kTrayMenu, "登录网页版");
TARNWICK_MENU_ITEM(kTrayOpen, kTrayMenu, "打开软件");
TARNWICK_MENU_ITEM(kTraySettings, kTrayMenu, "传输设置");
TARNWICK_MENU_ITEM(kTrayLogout, kTrayMenu, "注销");
TARNWICK_MENU_ITEM(kTrayQuit, kTrayMenu, "退出");
TARNWICK_MAIN(kDownloadedMenu, "完成菜单", Menu);
TARNWICK_MENU_ITEM(kOpenDownloadedFile, kDownloadedMenu, "打开文件");
TARNWICK_MENU_ITEM(kOpenDownloadedFolder, kDownloadedMenu, "访问文件夹");
TARNWICK_MAIN(kDownloadingMenu, "开始菜单", Menu);
TARNWICK_MENU_ITEM(kDeleteDownload, kDownloadingMenu, "删除任务");
TARNWICK_MENU_ITEM(kHoldDownload, kDownloadingMenu, "暂停任务");
TARNWICK_MENU_ITEM(kResumeDownload, kDownloadingMenu, "继续任务");
TARNWICK_MENU_ITEM(kDownloadUp, kDownloadingMenu, "上移");
TARNWICK_MENU_ITEM(kDownloadDown, kDownloadingMenu, "下移");
TARNWICK_MENU_ITEM(kDownloadToTop, kDownloadingMenu, "移至顶部");
TARNWICK_MENU_ITEM(kDownloadToBottom, kDownloadingMenu, "移至底部");
TARNWICK_MENU_ITEM(kRetryDownload, kDownloadingMenu, "重试");
TARNWICK_MAIN(kUploadQueueMenu, "上传菜单", Menu);
TARNWICK_MENU_ITEM(kDeleteUpload, kUploadQueueMenu, "删除该上传任务");
TARNWICK_MENU_ITEM(kHoldUpload, kUploadQueueMenu, "暂停任务");
TARNWICK_MENU_ITEM(kResumeUpload, kUploadQueueMenu, "继续任务");
TARNWICK_MENU_ITEM(kUploadUp, kUploadQueueMenu, "上移");
TARNWICK_MENU_ITEM(kUploadDown, kUploadQueueMenu, "下移");
TARNWICK_MENU_ITEM(kUploadToTop, kUploadQueueMenu, "移至顶部");
TARNWICK_MENU_ITEM(kUploadToBottom, kUploadQueueMenu, "移至底部");
TARNWICK_MENU_ITEM(kRetryUpload, kUploadQueueMenu, "重试");
TARNWICK_MAIN(kUploadDoneMenu, "上传完成菜单", Menu);
TARNWICK_MENU_ITEM(kOpenUploadedFile, kUploadDoneMenu, "打开该文件");
TARNWICK_MENU_ITEM(kOpenUploadedFolder, kUploadDoneMenu, "打开文件夹");
TARNWICK_MENU_ITEM(kOpenUploadedWebPage, kUploadDoneMenu, "打开网页文件链接");
TARNWICK_MENU_ITEM(kCopyUploadedShareLink, kUploadDoneMenu, "复制网页分享链接");
TARNWICK_MENU_ITEM(kCopyUploadedDirectLink, kUploadDoneMenu, "复制该文件直链");

#undef TARNWICK_MAIN

}  // namespace tarnwick::app::names::main
