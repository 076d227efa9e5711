#pragma once
// The dialog 传输设置: how many uploads and downloads run at once and the
// speed limit of each direction, kept in 配置.ini ([传输]). A change takes
// effect at once and is written at once; the main window's queues get the
// saved values when they are created.

#include <QWidget>

namespace tarnwick::app {
struct TransferSettings;
}

namespace tarnwick::transfer::qt {

// The one place the settings reach the transfers: the caps of main's queues
// and the process-wide speed limits.
void applyTransferSettings(QWidget* main, const app::TransferSettings& settings);
// Applies the saved settings (at the creation of main's queues).
void applySavedTransferSettings(QWidget* main);
// Opens the dialog, or raises it when it is open already.
void openTransferSettings();
// Registers the dialog's handlers.
void registerTransferSettingsWindow();

}  // namespace tarnwick::transfer::qt
