// Registration and password recovery (the terms of use are the initial text
// of the catalogue's 使用条款 window): each button runs its
// form row; the effects copy the new credentials into the login window and
// close the dialog.
#include <QPointer>

#include "account/account_forms.h"
#include "account/qt/account_module.h"
#include "account/qt/login_flow.h"
#include "app/qt/hyperlink_label.h"
#include "app/qt/shell.h"
#include "settings/qt/form_dialog.h"

namespace tarnwick::account {
namespace {

// Account and password of the dialog go to the login window's boxes, so the
// user can log in at once.
settings::EffectHandler dialogEffects(QWidget* dialog) {
  QPointer<QWidget> self(dialog);
  return [self](const std::string& effect, const settings::FormValues& values) {
    if (effect == kCopyToLogin) {
      auto value = [&values](const char* name) {
        auto it = values.find(name);
        return it == values.end() ? std::string() : it->second;
      };
      fillLoginBoxes(value("编辑框1"), value("编辑框2"));
    } else if (effect == kCloseDialog && self) {
      self->close();
    }
  };
}

}  // namespace

void installRegistrationWindow(QWidget* window) {
  settings::bindForm(window, QStringLiteral("按钮1"), registrationForm(), dialogEffects(window));
  // The terms link opens the terms dialog modally.
  if (auto* link = app::control<app::HyperlinkLabel>(window, QStringLiteral("超级链接框1")))
    QObject::connect(link, &app::HyperlinkLabel::clicked, window,
                     [window] { app::openWindowModal(QStringLiteral("使用条款"), window); });
}

void installRecoveryWindow(QWidget* window) {
  settings::bindForm(window, QStringLiteral("按钮1"), resetByQuestionForm(), dialogEffects(window));
  settings::bindForm(window, QStringLiteral("按钮2"), resetByEmailForm(), dialogEffects(window));
}

}  // namespace tarnwick::account
