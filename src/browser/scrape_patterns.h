#pragma once
// The scraping patterns and markers of the service's pages. The windows keep
// them in hidden text slots of the main window, which start with the texts
// below (src/app/qt/catalogue_hidden.cpp); the front ends and core parts that
// have no windows (the command line, the upload queue's listing check) use
// them as GBK texts.

#include <string>

#include "browser/scrape.h"

namespace tarnwick::browser::patterns {

// The texts in UTF-8, as the catalogue rows hold them.
// A folder entry of the folder page.
inline constexpr const char* kFolderEntry = "<div  style=\"height:35px;\">.*?id=\"x.*?\">";
// A file row of a listing page; the closing carriage return belongs to it.
inline constexpr const char* kFileRow =
    "<div style=\"display:none;\">pid：.*?<文件名：.*?<大小：.*?<日期：.*?<下载量：.*?< </div>\r";
// The access password on the settings page.
inline constexpr const char* kAccessPasswordMarker = "id=\"fwmm\" value=\"";
// A search hit, its name and its id.
inline constexpr const char* kSearchHit =
    "<div style=\"margin-bottom:5px;    margin-top: 5px;\">.*?&nbsp;.*?&nbsp;.*?</div>";
inline constexpr const char* kSearchNameMarker = "5px;\">";
inline constexpr const char* kSearchIdMarker = "display:none;\">";

// The same as GBK texts.
inline const std::string& folderEntry() { return gbk(kFolderEntry); }
inline const std::string& fileRow() { return gbk(kFileRow); }
inline const std::string& accessPasswordMarker() { return gbk(kAccessPasswordMarker); }
inline const std::string& searchHit() { return gbk(kSearchHit); }
inline const std::string& searchNameMarker() { return gbk(kSearchNameMarker); }
inline const std::string& searchIdMarker() { return gbk(kSearchIdMarker); }

}  // namespace tarnwick::browser::patterns
