#pragma once
// The addresses a login points at the logged-in member: the web-upload page
// of the embedded browser 超文本浏览框1 and the first listing address kept in
// 编辑框3. Both are built with the query builder (values GBK, percent-encoded).

#include <string>

namespace tarnwick::app {

// WebUploadHost + "/sc/index2.php?zh=" + account + "&ml=0".
std::string webUploadPageUrl(const std::string& webUploadHost, const std::string& account);
// MainHost + "/wdwj.php?pid=" + user id.
std::string memberListingUrl(const std::string& mainHost, const std::string& userId);

}  // namespace tarnwick::app
