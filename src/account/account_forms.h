#pragma once
// The form operations of the dialogs opened from the login window. None needs
// a logged-in member, so no URL carries pid. Effects named here are carried
// out by the dialogs' handlers.

#include "settings/form_row.h"

namespace tarnwick::account {

// Effects.
inline constexpr const char* kCopyToLogin = "copyToLogin";  // 编辑框1/编辑框2 -> login window
inline constexpr const char* kCloseDialog = "closeDialog";

// 帐号注册 按钮1: "/zc.php".
const settings::FormDef& registrationForm();
// 找回密码 按钮1: reset by security question, "/post/zh.php".
const settings::FormDef& resetByQuestionForm();
// 找回密码 按钮2: reset link by e-mail, "/post/yxzh.php".
const settings::FormDef& resetByEmailForm();

}  // namespace tarnwick::account
