#pragma once
// The scraping patterns and markers the windows keep in hidden text slots of
// the main window, as GBK texts for the command line, which has no windows.
// They must stay equal to the slots' initial texts (src/app/qt/catalogue_hidden.cpp).

#include <string>

#include "browser/scrape.h"

namespace tarnwick::cli::patterns {

// A folder entry of the folder page.
inline const std::string& folderEntry() { return browser::gbk("<div  style=\"height:35px;\">.*?id=\"x.*?\">"); }
// A file row of a listing page; the closing carriage return belongs to it.
inline const std::string& fileRow() {
  return browser::gbk("<div style=\"display:none;\">pid：.*?<文件名：.*?<大小：.*?<日期：.*?<下载量：.*?< </div>\r");
}
// The access password on the settings page.
inline const std::string& accessPasswordMarker() { return browser::gbk("id=\"fwmm\" value=\""); }
// A search hit, its name and its id.
inline const std::string& searchHit() {
  return browser::gbk("<div style=\"margin-bottom:5px;    margin-top: 5px;\">.*?&nbsp;.*?&nbsp;.*?</div>");
}
inline const std::string& searchNameMarker() { return browser::gbk("5px;\">"); }
inline const std::string& searchIdMarker() { return browser::gbk("display:none;\">"); }

}  // namespace tarnwick::cli::patterns
