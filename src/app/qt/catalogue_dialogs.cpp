// Rows of the thirteen dialog windows.
#include "app/names/dialogs.h"
#include "app/qt/catalogue_rows.h"
#include "browser/scrape_patterns.h"

namespace tarnwick::app {

using namespace names;

const ControlDef kDialogRows[] = {
    // login
    {login::kTitle, "", login::kTitle, Kind::Window, 0, 0, 302, 354, "", ""},
    {login::kTitle, "", "标签1", Kind::Label, 24, 24, 240, 24, "帐号：", ""},
    {login::kTitle, "", login::kAccountBox.name, Kind::Edit, 24, 48, 240, 32, "", ""},
    {login::kTitle, "", "标签2", Kind::Label, 24, 96, 240, 24, "密码：", ""},
    {login::kTitle, "", login::kPasswordBox.name, Kind::Edit, 24, 120, 240, 32, "", "", Password},
    {login::kTitle, "", login::kLoginButton.name, Kind::Button, 24, 160, 64, 32, "登录", ""},
    {login::kTitle, "", login::kRegisterButton.name, Kind::Button, 96, 160, 64, 32, "注册", ""},
    {login::kTitle, "", login::kRecoverButton.name, Kind::Button, 168, 160, 96, 32, "找回密码", ""},
    {login::kTitle, "", login::kQqButton.name, Kind::Button, 24, 200, 240, 32, "QQ登录", ""},
    {login::kTitle, "", login::kRememberCheck.name, Kind::Check, 24, 245, 260, 24, "记住帐号密码（公共场所慎选）", ""},
    {login::kTitle, "", "标签3", Kind::Label, 24, 283, 69, 20, "皮肤选择：", ""},
    {login::kTitle, "", login::kSkinSelector.name, Kind::Combo, 93, 283, 95, 20, "", ""},
    // registration
    {registration::kTitle, "", registration::kTitle, Kind::Window, 0, 0, 279, 340, "", ""},
    {registration::kTitle, "", "", Kind::Label, 24, 16, 220, 20, "帐号：", ""},
    {registration::kTitle, "", registration::kAccountBox.name, Kind::Edit, 24, 36, 220, 28, "", ""},
    {registration::kTitle, "", "", Kind::Label, 24, 70, 220, 20, "密码：", ""},
    {registration::kTitle, "", registration::kPasswordBox.name, Kind::Edit, 24, 90, 220, 28, "", "", Password},
    {registration::kTitle, "", "", Kind::Label, 24, 124, 220, 20, "确认密码：", ""},
    {registration::kTitle, "", registration::kPasswordRepeatBox.name, Kind::Edit, 24, 144, 220, 28, "", "", Password},
    {registration::kTitle, "", "", Kind::Label, 24, 178, 220, 20, "邮箱地址：", ""},
    {registration::kTitle, "", registration::kEmailBox.name, Kind::Edit, 24, 198, 220, 28, "", ""},
    {registration::kTitle, "", registration::kTermsCheck.name, Kind::Check, 24, 236, 60, 24, "同意", ""},
    {registration::kTitle, "", registration::kTermsLink.name, Kind::Link, 88, 236, 120, 24, "《使用条款》", ""},
    {registration::kTitle, "", registration::kRegisterButton.name, Kind::Button, 24, 272, 220, 32, "注册", ""},
    // create folder
    {createFolder::kTitle, "", createFolder::kTitle, Kind::Window, 0, 0, 285, 228, "", ""},
    {createFolder::kTitle, "", "标签1", Kind::Label, 12, 12, 80, 22, "我的文件夹：", ""},
    {createFolder::kTitle, "", createFolder::kFolderPicker.name, Kind::Combo, 92, 12, 120, 22, "", ""},
    {createFolder::kTitle, "", createFolder::kFolderIdLabel.name, Kind::Label, 220, 12, 50, 22, "", ""},
    {createFolder::kTitle, "", "标签3", Kind::Label, 12, 42, 260, 22, "文件夹级别：(继承上面所选目录)", ""},
    {createFolder::kTitle, "", createFolder::kNewFolderBox.name, Kind::Edit, 12, 66, 130, 24, "", ""},
    {createFolder::kTitle, "", createFolder::kCreateButton.name, Kind::Button, 148, 64, 56, 28, "创建", ""},
    {createFolder::kTitle, "", createFolder::kDeleteButton.name, Kind::Button, 208, 64, 56, 28, "删除", ""},
    {createFolder::kTitle, "", "标签4", Kind::Label, 12, 98, 80, 22, "修改属性：", ""},
    {createFolder::kTitle, "", "标签6", Kind::Label, 12, 122, 80, 22, "新文件夹名：", ""},
    {createFolder::kTitle, "", createFolder::kNameBox.name, Kind::Edit, 92, 122, 120, 24, "", ""},
    {createFolder::kTitle, "", "标签7", Kind::Label, 12, 150, 80, 22, "目录级别：", ""},
    {createFolder::kTitle, "", createFolder::kParentPicker.name, Kind::Combo, 92, 150, 120, 22, "", ""},
    {createFolder::kTitle, "", createFolder::kModifyButton.name, Kind::Button, 216, 134, 56, 28, "修改", ""},
    {createFolder::kTitle, "", "标签5", Kind::Label, 12, 176, 180, 22, "默认文件夹是一级目录", ""},
    {createFolder::kTitle, "", createFolder::kConfirmButton.name, Kind::Button, 216, 172, 56, 28, "确定", ""},
    {createFolder::kTitle, "", createFolder::kFolderPattern.name, Kind::Edit, 400, 10, 200, 24,
     browser::patterns::kFolderEntry, "", Hidden},
    // QQ login
    {qq::kTitle, "", qq::kTitle, Kind::Window, 0, 0, 521, 456, "", ""},
    {qq::kTitle, "", qq::kBrowser.name, Kind::Browser, 0, 0, 521, 456, "", ""},
    {qq::kTitle, "", qq::kPollTimer.name, Kind::Timer, 0, 0, 3000, 0, "", ""},
    // VIP activation
    {vip::kTitle, "", vip::kTitle, Kind::Window, 0, 0, 287, 182, "", ""},
    {vip::kTitle, "", "标签1", Kind::Label, 20, 24, 60, 24, "激活码：", ""},
    {vip::kTitle, "", vip::kCodeBox.name, Kind::Edit, 80, 22, 180, 28, "", ""},
    {vip::kTitle, "", vip::kActivateButton.name, Kind::Button, 80, 64, 100, 32, "开通", ""},
    {vip::kTitle, "", "超级链接框1", Kind::Link, 40, 116, 80, 24, "[功能介绍]", "{MainHost}/vip.php"},
    {vip::kTitle, "", "超级链接框2", Kind::Link, 160, 116, 80, 24, "[购买卡密]", "{MainHost}/vip.php"},
    // withdrawal records
    {withdrawalRecords::kTitle, "", withdrawalRecords::kTitle, Kind::Window, 0, 0, 271, 228, "", ""},
    {withdrawalRecords::kTitle, "", withdrawalRecords::kRecordsBox.name, Kind::MultiEdit, 8, 8, 255, 212, "", "", ReadOnly},
    // password recovery
    {recovery::kTitle, "", recovery::kTitle, Kind::Window, 0, 0, 302, 612, "", ""},
    {recovery::kTitle, "", "", Kind::Label, 24, 12, 240, 20, "找回的帐号：", ""},
    {recovery::kTitle, "", recovery::kAccountBox.name, Kind::Edit, 24, 32, 240, 28, "", ""},
    {recovery::kTitle, "", "", Kind::Label, 24, 66, 240, 20, "重置登录密码：", ""},
    {recovery::kTitle, "", recovery::kPasswordBox.name, Kind::Edit, 24, 86, 240, 28, "", "", Password},
    {recovery::kTitle, "", "", Kind::Label, 24, 120, 240, 20, "重复确认密码：", ""},
    {recovery::kTitle, "", recovery::kPasswordRepeatBox.name, Kind::Edit, 24, 140, 240, 28, "", "", Password},
    {recovery::kTitle, "", "", Kind::Label, 24, 174, 240, 20, "问题：", ""},
    {recovery::kTitle, "", recovery::kQuestionBox.name, Kind::Edit, 24, 194, 240, 28, "", ""},
    {recovery::kTitle, "", "", Kind::Label, 24, 228, 240, 20, "答案：", ""},
    {recovery::kTitle, "", recovery::kAnswerBox.name, Kind::Edit, 24, 248, 240, 28, "", ""},
    {recovery::kTitle, "", recovery::kByQuestionButton.name, Kind::Button, 24, 286, 240, 32, "找回", ""},
    {recovery::kTitle, "", "", Kind::Label, 24, 360, 240, 20, "找回的帐号：", ""},
    {recovery::kTitle, "", recovery::kEmailAccountBox.name, Kind::Edit, 24, 380, 240, 28, "", ""},
    {recovery::kTitle, "", "", Kind::Label, 24, 414, 240, 20, "注册邮箱：", ""},
    {recovery::kTitle, "", recovery::kEmailBox.name, Kind::Edit, 24, 434, 240, 28, "", ""},
    {recovery::kTitle, "", recovery::kByEmailButton.name, Kind::Button, 24, 472, 240, 32, "找回", ""},
    // external-link file
    {linkFile::kTitle, "", linkFile::kTitle, Kind::Window, 0, 0, 291, 229, "", ""},
    {linkFile::kTitle, "", "", Kind::Label, 20, 16, 240, 20, "文件名：", ""},
    {linkFile::kTitle, "", linkFile::kNameBox.name, Kind::Edit, 20, 36, 240, 28, "", ""},
    {linkFile::kTitle, "", "", Kind::Label, 20, 76, 240, 20, "外链地址：", ""},
    {linkFile::kTitle, "", linkFile::kAddressBox.name, Kind::Edit, 20, 96, 240, 28, "http://", ""},
    {linkFile::kTitle, "", linkFile::kCreateButton.name, Kind::Button, 20, 140, 240, 32, "创建", ""},
    // folder rename
    {renameFolder::kTitle, "", renameFolder::kTitle, Kind::Window, 0, 0, 299, 187, "", ""},
    {renameFolder::kTitle, "", renameFolder::kFolderPicker.name, Kind::Combo, 20, 16, 250, 24, "", ""},
    {renameFolder::kTitle, "", "", Kind::Label, 20, 52, 250, 20, "新文件夹名：", ""},
    {renameFolder::kTitle, "", renameFolder::kNameBox.name, Kind::Edit, 20, 72, 250, 28, "", ""},
    {renameFolder::kTitle, "", renameFolder::kResetButton.name, Kind::Button, 20, 112, 250, 32, "重置", ""},
    // file operation
    {fileOperation::kTitle, "", fileOperation::kTitle, Kind::Window, 0, 0, 262, 116, "", ""},
    {fileOperation::kTitle, "", fileOperation::kTargetPicker.name, Kind::Combo, 16, 16, 230, 24, "", ""},
    {fileOperation::kTitle, "", fileOperation::kMoveButton.name, Kind::Button, 16, 56, 110, 32, "移动", ""},
    {fileOperation::kTitle, "", fileOperation::kDeleteButton.name, Kind::Button, 136, 56, 110, 32, "删除", ""},
    // terms of use
    {terms::kTitle, "", terms::kTitle, Kind::Window, 0, 0, 380, 250, "", ""},
    {terms::kTitle, "", terms::kTextBox.name, Kind::MultiEdit, 8, 8, 364, 234, kTermsOfUseText, "", ReadOnly},
    // announcement
    {announcement::kTitle, "", announcement::kTitle, Kind::Window, 0, 0, 380, 248, "", ""},
    {announcement::kTitle, "", announcement::kTextBox.name, Kind::MultiEdit, 8, 8, 364, 232, "", "", ReadOnly},
    // transfer settings: transfers at once and speed limits (KB/s, 0 = none)
    {transferSettings::kTitle, "", transferSettings::kTitle, Kind::Window, 0, 0, 300, 180, "", ""},
    {transferSettings::kTitle, "", "", Kind::Label, 20, 20, 110, 24, "同时上传数：", ""},
    {transferSettings::kTitle, "", transferSettings::kUploadSlots.name, Kind::Spin, 140, 20, 140, 24, "2", "1\n10"},
    {transferSettings::kTitle, "", "", Kind::Label, 20, 56, 110, 24, "同时下载数：", ""},
    {transferSettings::kTitle, "", transferSettings::kDownloadSlots.name, Kind::Spin, 140, 56, 140, 24, "3", "1\n10"},
    {transferSettings::kTitle, "", "", Kind::Label, 20, 92, 110, 24, "上传限速：", ""},
    {transferSettings::kTitle, "", transferSettings::kUploadRate.name, Kind::Spin, 140, 92, 140, 24, "0",
     "0\n1048576\n KB/s\n不限"},
    {transferSettings::kTitle, "", "", Kind::Label, 20, 128, 110, 24, "下载限速：", ""},
    {transferSettings::kTitle, "", transferSettings::kDownloadRate.name, Kind::Spin, 140, 128, 140, 24, "0",
     "0\n1048576\n KB/s\n不限"},
};

const std::size_t kDialogRowCount = sizeof(kDialogRows) / sizeof(kDialogRows[0]);

}  // namespace tarnwick::app
