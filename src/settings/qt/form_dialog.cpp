#include "settings/qt/form_dialog.h"

#include <QCheckBox>
#include <QPointer>

#include "app/qt/shell.h"
#include "app/session.h"
#include "net/hosts.h"
#include "net/http.h"

namespace tarnwick::settings {

QString networkFailureText() { return QStringLiteral("网络连接失败，请稍后再试。"); }

std::optional<std::string> postForReply(const std::string& url, const std::string& body) {
  std::string reply = net::httpRequestText(url, "POST", "", "", body);
  if (reply.empty()) return std::nullopt;
  return reply;
}

FormValues readControls(QWidget* window, const std::vector<std::string>& names) {
  FormValues values;
  for (const auto& name : names) {
    const QString qname = QString::fromStdString(name);
    if (auto* box = app::control<QCheckBox>(window, qname))
      values[name] = box->isChecked() ? "1" : "";
    else
      values[name] = app::controlText(window, qname);
  }
  return values;
}

FormResult runForm(QWidget* window, const FormDef& def, QAbstractButton* button,
                   const EffectHandler& effects) {
  QPointer<QWidget> guardWindow(window);
  QPointer<QAbstractButton> guardButton(button);
  if (button) button->setEnabled(false);
  FormHooks hooks;
  hooks.post = postForReply;
  hooks.failed = [&guardWindow] {
    app::showMessage(networkFailureText(), QStringLiteral("信息："), guardWindow.data());
  };
  hooks.message = [&guardWindow](const std::string& text) {
    app::showMessage(app::fromGbk(text), QStringLiteral("信息："), guardWindow.data());
  };
  hooks.effect = [&effects](const std::string& name, const FormValues& values) {
    if (effects) effects(name, values);
  };
  FormContext context{net::hosts().mainHost, app::Session::instance().accountName()};
  FormResult result = submitForm(def, readControls(window, controlsRead(def)), context, hooks);
  if (guardButton) guardButton->setEnabled(true);
  return result;
}

void bindForm(QWidget* window, const QString& buttonName, const FormDef& def,
              EffectHandler effects) {
  auto* button = app::control<QAbstractButton>(window, buttonName);
  if (!button) return;
  QObject::connect(button, &QAbstractButton::clicked, window,
                   [window, button, &def, effects = std::move(effects)] {
                     runForm(window, def, button, effects);
                   });
}

}  // namespace tarnwick::settings
