#pragma once
// The account entry's GUI half: the login, QQ sign-in, registration, terms
// and recovery windows, the update check, the session watchdog and the tray
// items of the main window.

class QWidget;

namespace tarnwick::account {

// Adds the window installers of this module (called from registerModules).
void registerAccountModule();

// Installers, one per window title.
void installLoginWindow(QWidget* window);
void installQqWindow(QWidget* window);
void installRegistrationWindow(QWidget* window);
void installRecoveryWindow(QWidget* window);
void installMainWindowGuards(QWidget* window);

// Opens the login window modally over a hidden main window (logout, forced
// logout).
void returnToLogin();
// The update check of the login window, as a job of that window: ends the
// program when the service announces another version.
void runUpdateCheck(QWidget* loginWindow);

}  // namespace tarnwick::account
