#include "app/names/name.h"

namespace tarnwick::app::names {

namespace {
std::vector<Record>& records() {
  static std::vector<Record> list;
  return list;
}
}  // namespace

const std::vector<Record>& all() { return records(); }

Registered::Registered(const ControlName& n) { records().push_back({n}); }
Registered::Registered(const PageName& p) { records().push_back({p.tabs, p.title}); }
Registered::Registered(const ColumnName& c) { records().push_back({c.view, c.caption, c.index}); }
Registered::Registered(const MenuItemName& m) { records().push_back({m.menu, m.caption}); }

}  // namespace tarnwick::app::names
