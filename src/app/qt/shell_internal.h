#pragma once
// Links between the shell's own files (not for feature modules).
#include <QWidget>

namespace tarnwick::app {

void registerWindow(QWidget* window);
void removeTrayIcon();
int requestedExitCode();
// Tests that run the start routine more than once start from a clean state.
void resetExitRequest();
// memberLoggedIn runs the modules' joined hooks through this.
void runMemberJoinedHooks();

}  // namespace tarnwick::app
