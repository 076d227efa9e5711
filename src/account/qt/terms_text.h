#pragma once
#include <QString>

namespace tarnwick::account {

// The terms of use shown by the 使用条款 dialog.
QString termsOfUseText();

}  // namespace tarnwick::account
