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
  const FormValues values = readControls(window, controlsRead(def));
  QPointer<QWidget> guardWindow(window);
  if (auto refused = firstFailedCheck(def, values)) {
    app::showMessage(app::fromGbk(*refused), QStringLiteral("信息："), window);
    return {};
  }
  FormResult request =
      buildFormRequest(def, values, FormContext{net::hosts().mainHost, app::Session::instance().accountName()});
  // The post is a job of the window; its steps run when the reply is in,
  // while the window exists (closing it cancels the job).
  request.sent = app::WindowJobs::of(window)->request(
      net::JobRequest::post(request.url, request.body), button,
      [guardWindow, &def, values, effects](const net::RequestJobResult& r) {
        // No reply is not an answer: the user is told, and nothing changes.
        if (r.reply.empty()) {
          app::showMessage(networkFailureText(), QStringLiteral("信息："), guardWindow.data());
          return;
        }
        for (const auto& step : stepsForReply(def, r.reply)) {
          if (step.kind == FormStep::Kind::Message)
            app::showMessage(app::fromGbk(step.text), QStringLiteral("信息："), guardWindow.data());
          else if (effects)
            effects(step.text, values);
        }
      });
  return request;
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
