#pragma once
// The start routine of the client.
namespace tarnwick::app {

// Prepares the process before QApplication exists (web engine attributes,
// sandbox switch when running as root).
void prepareApplication();
// Runs the client in the existing QApplication: creates the hidden main
// window, tests the connection, opens the login window and runs the event
// loop. Returns the exit code.
int startClient();

}  // namespace tarnwick::app
