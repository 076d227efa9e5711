#include "app/qt/settings_ui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QStandardPaths>

#include "app/local_settings.h"
#include "app/qt/shell.h"

namespace tarnwick::app {

namespace {

void onSkinChosen(int index) {
  if (index < 0) return;
  applySkin(index + 1);
  writeSkinSetting(documentsFolder(), index + 1);
}

void fillSelector(QComboBox* box, int index) {
  if (!box) return;
  const QSignalBlocker block(box);
  box->clear();
  for (int i = 1; i <= 33; ++i) box->addItem(QString::number(i));
  box->setCurrentIndex(index);
}

}  // namespace

std::filesystem::path documentsFolder() {
  QString dir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (dir.isEmpty()) dir = QDir::homePath();
  QDir().mkpath(dir);
  return std::filesystem::path(dir.toStdString());
}

void fillSkinSelectors(QWidget* login) {
  const int index = skinIndexForSetting(readSkinSetting(documentsFolder()));
  auto* loginBox = control<QComboBox>(login, QStringLiteral("组合框1"));
  fillSelector(loginBox, index);
  fillSelector(control<QComboBox>(mainWindow(), QStringLiteral("组合框3")), index);
  applySkin((loginBox ? loginBox->currentIndex() : index) + 1);
  if (loginBox) QObject::connect(loginBox, &QComboBox::currentIndexChanged, loginBox, &onSkinChosen);
}

void connectMainSkinSelector(QWidget* main) {
  if (auto* box = control<QComboBox>(main, QStringLiteral("组合框3")))
    QObject::connect(box, &QComboBox::currentIndexChanged, box, &onSkinChosen);
}

void fillRememberedLogin(QWidget* login) {
  const RememberedLogin r = readRememberedLogin(documentsFolder());
  if (!r.remember) return;
  if (auto* box = control<QCheckBox>(login, QStringLiteral("选择框1"))) box->setChecked(true);
  if (!r.filled) return;
  setControlText(login, QStringLiteral("编辑框1"), r.account);
  setControlText(login, QStringLiteral("编辑框2"), r.password);
}

void rememberLogin(bool ticked, const std::string& account, const std::string& password) {
  // documentsFolder() asks Qt for a path only; safe from a worker.
  rememberLoginAttempt(documentsFolder(), ticked, account, password);
}

}  // namespace tarnwick::app
