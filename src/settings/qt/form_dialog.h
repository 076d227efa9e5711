#pragma once
// Runs a FormDef row from a window of the catalogue: reads the row's
// controls from the window, runs the checks, and posts the request as a job
// of the window (app::WindowJobs); the reply's messages (task-modal message
// boxes) and effects follow on the GUI thread. The button that started the
// form is disabled until the reply has been handled, so a second click cannot
// send a second copy.

#include <QAbstractButton>
#include <QWidget>
#include <functional>
#include <string>

#include "app/names/name.h"
#include "settings/form_runner.h"

namespace tarnwick::settings {

// Effects of a row, carried out by the window's handler. window may be gone
// by the time an effect runs (the user closed it while the request ran).
using EffectHandler = std::function<void(const std::string& effect, const FormValues& values)>;

// What the user is told when a request of a form or switch got no reply.
QString networkFailureText();

// Snapshot of the named controls: a check box reads "1" when ticked and ""
// otherwise; every other control reads its text (GBK).
FormValues readControls(QWidget* window, const std::vector<std::string>& names);

// Returns the request (url, body; sent = false when a check refused it); the
// reply is handled later. def must outlive the request (the rows are static).
FormResult runForm(QWidget* window, const FormDef& def, QAbstractButton* button,
                   const EffectHandler& effects);

// Connects button's click to runForm with the row. The button comes by name
// from a form table, or as a names constant.
void bindForm(QWidget* window, const QString& buttonName, const FormDef& def,
              EffectHandler effects);
inline void bindForm(QWidget* window, const app::ControlName& button, const FormDef& def, EffectHandler effects) {
  bindForm(window, QString::fromUtf8(button.name), def, std::move(effects));
}

}  // namespace tarnwick::settings
