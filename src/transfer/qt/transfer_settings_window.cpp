#include "transfer/qt/transfer_settings_window.h"

#include <QSpinBox>

#include "app/names/dialogs.h"
#include "app/names/main_window.h"
#include "app/qt/log_lines.h"
#include "app/qt/settings_ui.h"
#include "app/qt/shell.h"
#include "app/transfer_settings.h"
#include "net/text.h"
#include "transfer/qt/transfer_queues.h"
#include "transfer/rate_limit.h"

namespace tarnwick::transfer::qt {

namespace names = app::names::transferSettings;

void applyTransferSettings(QWidget* main, const app::TransferSettings& settings) {
  if (TransferQueues* queues = TransferQueues::of(main)) {
    queues->uploads().setMaxActive(settings.uploads);
    queues->downloads().setMaxActive(settings.downloads);
  }
  transfer::uploadLimiter().setRate(std::int64_t{settings.uploadRateKb} * 1024);
  transfer::downloadLimiter().setRate(std::int64_t{settings.downloadRateKb} * 1024);
}

void applySavedTransferSettings(QWidget* main) {
  applyTransferSettings(main, app::readTransferSettings(app::documentsFolder()));
}

void openTransferSettings() {
  if (QWidget* open = app::findWindow(QString::fromUtf8(names::kTitle))) {
    open->raise();
    open->activateWindow();
    return;
  }
  app::openWindow(QString::fromUtf8(names::kTitle), app::mainWindow());
}

namespace {

void installDialog(QWidget* window) {
  auto* uploads = app::control<QSpinBox>(window, names::kUploadSlots);
  auto* downloads = app::control<QSpinBox>(window, names::kDownloadSlots);
  auto* upRate = app::control<QSpinBox>(window, names::kUploadRate);
  auto* downRate = app::control<QSpinBox>(window, names::kDownloadRate);
  if (!uploads || !downloads || !upRate || !downRate) return;
  const app::TransferSettings saved = app::readTransferSettings(app::documentsFolder());
  for (auto [box, value] : {std::pair{uploads, std::int64_t{saved.uploads}}, {downloads, saved.downloads},
                            {upRate, saved.uploadRateKb}, {downRate, saved.downloadRateKb}}) {
    const QSignalBlocker quiet(box);
    box->setValue(static_cast<int>(value));
  }
  auto changed = [=] {
    app::TransferSettings s;
    s.uploads = uploads->value();
    s.downloads = downloads->value();
    s.uploadRateKb = upRate->value();
    s.downloadRateKb = downRate->value();
    applyTransferSettings(app::mainWindow(), s);
    if (!app::writeTransferSettings(app::documentsFolder(), s))
      app::logLine(app::names::main::kLogBox, net::fromUtf8("：传输设置无法保存到配置.ini"));
  };
  for (QSpinBox* box : {uploads, downloads, upRate, downRate})
    QObject::connect(box, &QSpinBox::valueChanged, window, changed);
}

}  // namespace

void registerTransferSettingsWindow() {
  app::addWindowInstaller(QString::fromUtf8(names::kTitle), installDialog);
}

}  // namespace tarnwick::transfer::qt
