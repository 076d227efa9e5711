#pragma once
// Names of the dialogs (their titles) and of the controls of theirs that
// code uses (the rows in src/app/qt/catalogue_dialogs.cpp use them too).
#include "app/names/name.h"

namespace tarnwick::app::names {

namespace login {
inline constexpr const char* kTitle = "Tarnwick登录";
TARNWICK_CONTROL(kAccountBox, kTitle, "编辑框1", Edit);
TARNWICK_CONTROL(kPasswordBox, kTitle, "编辑框2", Edit);
TARNWICK_CONTROL(kLoginButton, kTitle, "按钮1", Button);
TARNWICK_CONTROL(kRegisterButton, kTitle, "按钮2", Button);
TARNWICK_CONTROL(kRecoverButton, kTitle, "按钮3", Button);
TARNWICK_CONTROL(kQqButton, kTitle, "按钮4", Button);
TARNWICK_CONTROL(kRememberCheck, kTitle, "选择框1", Check);
TARNWICK_CONTROL(kSkinSelector, kTitle, "组合框1", Combo);
}  // namespace login

namespace registration {
inline constexpr const char* kTitle = "帐号注册";
TARNWICK_CONTROL(kAccountBox, kTitle, "编辑框1", Edit);
TARNWICK_CONTROL(kPasswordBox, kTitle, "编辑框2", Edit);
TARNWICK_CONTROL(kPasswordRepeatBox, kTitle, "编辑框3", Edit);
TARNWICK_CONTROL(kEmailBox, kTitle, "编辑框5", Edit);
TARNWICK_CONTROL(kTermsCheck, kTitle, "选择框1", Check);
TARNWICK_CONTROL(kRegisterButton, kTitle, "按钮1", Button);
TARNWICK_CONTROL(kTermsLink, kTitle, "超级链接框1", Link);
}  // namespace registration

namespace recovery {
inline constexpr const char* kTitle = "找回密码";
TARNWICK_CONTROL(kAccountBox, kTitle, "编辑框1", Edit);
TARNWICK_CONTROL(kPasswordBox, kTitle, "编辑框2", Edit);
// By question: the account, the new password twice, question and answer.
TARNWICK_CONTROL(kPasswordRepeatBox, kTitle, "编辑框3", Edit);
TARNWICK_CONTROL(kQuestionBox, kTitle, "编辑框4", Edit);
TARNWICK_CONTROL(kAnswerBox, kTitle, "编辑框5", Edit);
TARNWICK_CONTROL(kByQuestionButton, kTitle, "按钮1", Button);
// By e-mail: the account and its registered address.
TARNWICK_CONTROL(kEmailAccountBox, kTitle, "编辑框6", Edit);
TARNWICK_CONTROL(kEmailBox, kTitle, "编辑框7", Edit);
TARNWICK_CONTROL(kByEmailButton, kTitle, "按钮2", Button);
}  // namespace recovery

namespace qq {
inline constexpr const char* kTitle = "QQ互联登录";
TARNWICK_CONTROL(kBrowser, kTitle, "超文本浏览框1", Browser);
TARNWICK_CONTROL(kPollTimer, kTitle, "时钟1", Timer);
}  // namespace qq

namespace createFolder {
inline constexpr const char* kTitle = "创建文件夹";
TARNWICK_CONTROL(kFolderPicker, kTitle, "组合框1", Combo);
TARNWICK_CONTROL(kFolderIdLabel, kTitle, "标签2", Label);
TARNWICK_CONTROL(kNewFolderBox, kTitle, "编辑框2", Edit);
TARNWICK_CONTROL(kCreateButton, kTitle, "按钮1", Button);
TARNWICK_CONTROL(kConfirmButton, kTitle, "按钮2", Button);
TARNWICK_CONTROL(kDeleteButton, kTitle, "按钮3", Button);
TARNWICK_CONTROL(kNameBox, kTitle, "编辑框3", Edit);
TARNWICK_CONTROL(kParentPicker, kTitle, "组合框2", Combo);
TARNWICK_CONTROL(kModifyButton, kTitle, "按钮5", Button);
TARNWICK_CONTROL(kFolderPattern, kTitle, "编辑框1", Edit);
}  // namespace createFolder

namespace vip {
inline constexpr const char* kTitle = "开通VIP";
TARNWICK_CONTROL(kCodeBox, kTitle, "编辑框1", Edit);
TARNWICK_CONTROL(kActivateButton, kTitle, "按钮1", Button);
}  // namespace vip

namespace withdrawalRecords {
inline constexpr const char* kTitle = "提现记录";
TARNWICK_CONTROL(kRecordsBox, kTitle, "编辑框1", MultiEdit);
}  // namespace withdrawalRecords

namespace linkFile {
inline constexpr const char* kTitle = "创建外链文件";
TARNWICK_CONTROL(kNameBox, kTitle, "编辑框1", Edit);
TARNWICK_CONTROL(kAddressBox, kTitle, "编辑框2", Edit);
TARNWICK_CONTROL(kCreateButton, kTitle, "按钮1", Button);
}  // namespace linkFile

namespace renameFolder {
inline constexpr const char* kTitle = "文件夹新名称";
TARNWICK_CONTROL(kFolderPicker, kTitle, "组合框1", Combo);
TARNWICK_CONTROL(kNameBox, kTitle, "编辑框1", Edit);
TARNWICK_CONTROL(kResetButton, kTitle, "按钮1", Button);
}  // namespace renameFolder

namespace fileOperation {
inline constexpr const char* kTitle = "文件操作";
TARNWICK_CONTROL(kTargetPicker, kTitle, "组合框1", Combo);
TARNWICK_CONTROL(kMoveButton, kTitle, "按钮1", Button);
TARNWICK_CONTROL(kDeleteButton, kTitle, "按钮2", Button);
}  // namespace fileOperation

namespace terms {
inline constexpr const char* kTitle = "使用条款";
TARNWICK_CONTROL(kTextBox, kTitle, "编辑框1", MultiEdit);
}  // namespace terms

namespace announcement {
inline constexpr const char* kTitle = "公告";
TARNWICK_CONTROL(kTextBox, kTitle, "编辑框1", MultiEdit);
}  // namespace announcement

namespace transferSettings {
inline constexpr const char* kTitle = "传输设置";
TARNWICK_CONTROL(kUploadSlots, kTitle, "同时上传数", Spin);
TARNWICK_CONTROL(kDownloadSlots, kTitle, "同时下载数", Spin);
TARNWICK_CONTROL(kUploadRate, kTitle, "上传限速", Spin);
TARNWICK_CONTROL(kDownloadRate, kTitle, "下载限速", Spin);
}  // namespace transferSettings

}  // namespace tarnwick::app::names
