// The account pages (personal, security, withdrawal, settings, records),
// the announcement stripper and the INI reader on arbitrary bytes.
#include "app/ini.h"
#include "fuzz_input.h"
#include "settings/account_operations.h"
#include "settings/account_pages.h"

using namespace tarnwick;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzInput in = splitFuzzInput(data, size);
  const std::string& page = in.first;
  switch (in.selector % 5) {
    case 0:
      settings::personalView(page);
      settings::securityView(page, "id=\"dan\" value=\"");
      break;
    case 1:
      settings::withdrawalView(page, {"name=\"dlmm\" value=\"", "name=\"dlzh\" value=\"", "name=\"lxyx\" value=\"",
                                      "<div style=\"margin-top:5px;\">.*?&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;.*?&nbsp;.*?</div>"});
      settings::recordRows(page, "<div style=\"float:left; padding-top:5px;\">.*?&nbsp;&nbsp&nbsp;.*?</div></div>");
      break;
    case 2:
      settings::settingsView(page, {in.second, "id=\"btn3\" style=\"width:325px;\">", "", "<p id=\"xdan4\">"});
      break;
    case 3:
      settings::stripHtml(page);
      break;
    case 4:
      app::setIniValue(page, in.second, "k", app::iniValue(page, in.second, "k") + "\"x ");
      break;
  }
  return 0;
}
