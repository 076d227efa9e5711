#include "app/qt/settings_ui.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPointer>
#include <QStandardPaths>
#include <QThread>

#include "app/local_settings.h"
#include "app/names/dialogs.h"
#include "app/names/main_window.h"
#include "app/qt/keyring.h"
#include "app/qt/log.h"
#include "app/qt/shell.h"
#include "net/text.h"

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

// The newest login attempt: an answer of the keyring for an older one must
// not overwrite what the newer one left in the file.
struct Attempt {
  unsigned number = 0;
  bool ticked = false;
  std::string account;
};
Attempt& latestAttempt() {
  static Attempt a;  // GUI thread only
  return a;
}

// Said once per run: where the keyring does not take the password, the file
// keeps it.
void logPasswordKeptInFile(const QString& why) {
  static bool said = false;
  qCInfo(lcApp) << "password kept in the credentials file, not in the keyring:" << why;
  if (said) return;
  said = true;
  logLine(names::main::kStatusLog, net::fromUtf8("：记住的密码保存在文档文件夹的配置2.iniat中，未存入系统密钥环。"));
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
  auto* loginBox = control<QComboBox>(login, names::login::kSkinSelector);
  fillSelector(loginBox, index);
  fillSelector(control<QComboBox>(mainWindow(), names::main::kSkinSelector), index);
  applySkin((loginBox ? loginBox->currentIndex() : index) + 1);
  if (loginBox) QObject::connect(loginBox, &QComboBox::currentIndexChanged, loginBox, &onSkinChosen);
}

void connectMainSkinSelector(QWidget* main) {
  if (auto* box = control<QComboBox>(main, names::main::kSkinSelector))
    QObject::connect(box, &QComboBox::currentIndexChanged, box, &onSkinChosen);
}

void fillRememberedLogin(QWidget* login) {
  const RememberedLogin r = readRememberedLogin(documentsFolder());
  if (!r.remember) return;
  if (auto* box = control<QCheckBox>(login, names::login::kRememberCheck)) box->setChecked(true);
  if (!r.filled) return;
  setControlText(login, names::login::kAccountBox, r.account);
  if (!r.passwordInKeyring) {
    setControlText(login, names::login::kPasswordBox, r.password);
    return;
  }
  // The password box is filled when the keyring answers, unless the user has
  // typed meanwhile.
  QPointer<QWidget> window(login);
  auto fill = [window, account = r.account](std::optional<std::string> password, QString error) {
    if (!password) {
      if (!error.isEmpty()) qCWarning(lcApp) << "remembered password not read from the keyring:" << error;
      return;
    }
    auto* box = control<QLineEdit>(window, names::login::kPasswordBox);
    if (box && box->text().isEmpty() && controlText(window, names::login::kAccountBox) == account)
      box->setText(fromGbk(*password));
  };
  readKeyringPassword(r.account, fill);
}

void rememberLogin(bool ticked, const std::string& account, const std::string& password) {
  Q_ASSERT(QThread::currentThread() == qApp->thread());
  const std::filesystem::path documents = documentsFolder();
  const KeyringPlan plan = planKeyring(readRememberedLogin(documents), ticked, account, password);
  Attempt& latest = latestAttempt();
  latest = {latest.number + 1, ticked, account};
  if (plan.forget) deleteKeyringPassword(*plan.forget);
  if (!ticked || !plan.offerPassword) {
    rememberLoginAttempt(documents, ticked, account, password);
    if (ticked) logPasswordKeptInFile(QStringLiteral("the password is not text the keyring keeps unchanged"));
    return;
  }
  // The file changes only once the keyring has answered: until then it keeps
  // what it held, so a keyring that refuses loses nothing.
  auto answered = [documents, number = latest.number, account, password](bool stored, QString error) {
    const Attempt& now = latestAttempt();
    if (now.number != number) {
      // A newer attempt decided; forget this entry unless it remembers the same account.
      if (stored && (!now.ticked || now.account != account)) deleteKeyringPassword(account);
      return;
    }
    rememberLoginAttempt(documents, true, account, password,
                         stored ? PasswordPlace::Keyring : PasswordPlace::File);
    if (!stored) logPasswordKeptInFile(error);
  };
  writeKeyringPassword(account, password, answered);
}

}  // namespace tarnwick::app
