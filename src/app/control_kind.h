#pragma once
// The kinds of control a window is built from. Kept free of any toolkit so
// that the names of controls (app/names/) can be used by the core tables as
// well as by the windows.

namespace tarnwick::app {

enum class Kind {
  Window,     // name = title; w, h = size; the first row of every window
  Tab,        // items = page titles; pages are created with the tab control
  Group,
  Edit,
  MultiEdit,
  Label,
  Button,
  Check,
  Combo,
  ListBox,
  ListView,   // items = column captions, each "caption=width"
  ModelView,  // a list view whose rows come from a model the code attaches; items as ListView
  Progress,
  Spin,       // text = initial value; items = "min\nmax[\nsuffix[\ntext shown at min]]"
  Link,       // text = caption; items = target address ("" = none)
  Picture,
  Browser,
  Timer,      // interval in w (0 = stopped)
  Menu,       // items = captions of the menu items
  FileDialog,
};

}  // namespace tarnwick::app
