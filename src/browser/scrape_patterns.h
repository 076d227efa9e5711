#pragma once
// The scraping patterns and markers the windows keep in hidden text slots of
// the main window, as GBK texts for the front ends and core parts that have
// no windows (the command line, the upload queue's listing check).
// They must stay equal to the slots' initial texts (src/app/qt/catalogue_hidden.cpp).

#include <string>

#include "browser/scrape.h"

namespace tarnwick::browser::patterns {

// A folder entry of the folder page.
inline const std::string& folderEntry() { return gbk("<div  style=\"height:35px;\">.*?id=\"x.*?\">"); }
// A file row of a listing page; the closing carriage return belongs to it.
inline const std::string& fileRow() {
  return gbk("<div style=\"display:none;\">pid：.*?<文件名：.*?<大小：.*?<日期：.*?<下载量：.*?< </div>\r");
}
// The access password on the settings page.
inline const std::string& accessPasswordMarker() { return gbk("id=\"fwmm\" value=\""); }
// A search hit, its name and its id.
inline const std::string& searchHit() {
  return gbk("<div style=\"margin-bottom:5px;    margin-top: 5px;\">.*?&nbsp;.*?&nbsp;.*?</div>");
}
inline const std::string& searchNameMarker() { return gbk("5px;\">"); }
inline const std::string& searchIdMarker() { return gbk("display:none;\">"); }

}  // namespace tarnwick::browser::patterns
