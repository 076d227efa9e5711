#pragma once
// The three row tables of the catalogue (main window, its hidden slots,
// timers and menus, and the dialogs); catalogue.cpp joins them.
#include <cstddef>

#include "app/qt/catalogue.h"

namespace tarnwick::app {

extern const ControlDef kMainRows[];
extern const std::size_t kMainRowCount;
extern const ControlDef kMainHiddenRows[];
extern const std::size_t kMainHiddenRowCount;
extern const ControlDef kDialogRows[];
extern const std::size_t kDialogRowCount;
extern const char* const kTermsOfUseText;

}  // namespace tarnwick::app
