#pragma once
// The GUI side's shared services, one header per concern:
//   bindings.h     clicks, menu items and popup menus bound by name
//   controls.h     window lookup, control text, GBK at the widget border, clipboard
//   messages.h     message boxes
//   log_lines.h    log lines and their clock
//   workers.h      the worker pool and the hand-over to the GUI thread
//   window_jobs.h  requests as jobs owned by a window
//   windows.h      window installers, opening windows, page loaders, exit
//   tray.h         main-window placement, tray, skins
// Including this header includes them all.

#include "app/qt/bindings.h"
#include "app/qt/controls.h"
#include "app/qt/log_lines.h"
#include "app/qt/messages.h"
#include "app/qt/tray.h"
#include "app/qt/window_jobs.h"
#include "app/qt/windows.h"
#include "app/qt/workers.h"
