// Registration and password recovery (the terms of use are the initial text
// of the catalogue's 使用条款 window): each button runs its
// form row; the effects copy the new credentials into the login window and
// close the dialog.
#include <QPointer>

#include "account/account_forms.h"
#include "account/qt/account_module.h"
#include "account/qt/login_flow.h"
#include "app/names/dialogs.h"
#include "app/qt/hyperlink_label.h"
#include "app/qt/shell.h"
#include "settings/qt/form_dialog.h"

namespace tarnwick::account {
namespace {

// Account and password of the dialog go to the login window's boxes, so the
// user can log in at once.
settings::EffectHandler dialogEffects(QWidget* dialog, const app::ControlName& accountBox,
                                      const app::ControlName& passwordBox) {
  QPointer<QWidget> self(dialog);
  return [self, accountBox, passwordBox](const std::string& effect, const settings::FormValues& values) {
    if (effect == kCopyToLogin) {
      auto value = [&values](const app::ControlName& box) {
        auto it = values.find(box.name);
        return it == values.end() ? std::string() : it->second;
      };
      fillLoginBoxes(value(accountBox), value(passwordBox));
    } else if (effect == kCloseDialog && self) {
      self->close();
    }
  };
}

}  // namespace

void installRegistrationWindow(QWidget* window) {
  using namespace app::names::registration;
  settings::bindForm(window, kRegisterButton, registrationForm(), dialogEffects(window, kAccountBox, kPasswordBox));
  // The terms link opens the terms dialog modally.
  if (auto* link = app::control<app::HyperlinkLabel>(window, kTermsLink))
    QObject::connect(link, &app::HyperlinkLabel::clicked, window,
                     [window] { app::openWindowModal(app::names::terms::kTitle, window); });
}

void installRecoveryWindow(QWidget* window) {
  using namespace app::names::recovery;
  settings::bindForm(window, kByQuestionButton, resetByQuestionForm(),
                     dialogEffects(window, kAccountBox, kPasswordBox));
  settings::bindForm(window, kByEmailButton, resetByEmailForm(), dialogEffects(window, kAccountBox, kPasswordBox));
}

}  // namespace tarnwick::account
