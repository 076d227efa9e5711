// Every feature module registers its window installers and page loaders
// here, one line each. Called once by the start routine (and by tests)
// before any window is created; a second call does nothing.
#include "account/qt/account_module.h"
#include "app/qt/shell.h"
#include "browser/qt/browser_module.h"
#include "settings/qt/account_operations.h"
#include "settings/qt/account_pages.h"
#include "transfer/qt/transfer_module.h"

namespace tarnwick::app {

void registerShellHandlers();  // start.cpp

void registerModules() {
  static bool done = false;
  if (done) return;
  done = true;
  registerShellHandlers();
  account::registerAccountModule();
  tarnwick::browser::registerBrowserModule();
  tarnwick::settings::qt::registerAccountPages();
  tarnwick::settings::qt::registerAccountOperations();
  tarnwick::transfer::qt::registerTransferModule();
}

}  // namespace tarnwick::app
