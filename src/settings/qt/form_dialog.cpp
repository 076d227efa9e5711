#include "settings/qt/form_dialog.h"

#include <QCheckBox>
#include <QPointer>

#include "app/qt/shell.h"
#include "app/session.h"
#include "net/hosts.h"
#include "net/request_job.h"

namespace tarnwick::settings {

QString networkFailureText() { return QStringLiteral("网络连接失败，请稍后再试。"); }

FormValues readControls(QWidget* window, const std::vector<std::string>& names) {
  FormValues values;
  for (const auto& name : names) {
    const QString qname = QString::fromStdString(name);
    if (auto* box = qobject_cast<QCheckBox*>(app::control<QWidget>(window, qname)))
      values[name] = box->isChecked() ? "1" : "";
    else
      values[name] = app::controlText(window, qname);
  }
  return values;
}

FormResult runForm(QWidget* window, const FormDef& def, QAbstractButton* button,
                   const EffectHandler& effects) {
  QPointer<QWidget> guardWindow(window);
  FormHooks hooks;
  hooks.message = [guardWindow](const std::string& gbk) {
    app::showMessage(app::fromGbk(gbk), QStringLiteral("信息："), guardWindow.data());
  };
  hooks.effect = effects;
  hooks.failed = [guardWindow] {
    app::showMessage(networkFailureText(), QStringLiteral("信息："), guardWindow.data());
  };
  // The post is a job of the window; its steps run when the reply is in,
  // while the window exists (closing it cancels the job).
  hooks.post = [window, button](const std::string& url, const std::string& body, FormAnswer answered) {
    return app::WindowJobs::of(window)->request(
        net::JobRequest::post(url, body), button, [answered = std::move(answered)](const net::RequestJobResult& r) {
          answered(r.failed() ? std::nullopt : std::optional<std::string>(r.reply));
        });
  };
  return submitForm(def, readControls(window, controlsRead(def)),
                    FormContext{net::hosts().mainHost, app::Session::instance().accountName()}, std::move(hooks));
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
