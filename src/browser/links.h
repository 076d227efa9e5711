#pragma once
// Addresses of the service's web pages for files and folders and of the
// direct download links.

#include <cstdint>
#include <string>

namespace tarnwick::browser {

class BrowserState;

// MainHost + "/ym.php?pid=" + file id.
std::string filePageUrl(const std::string& mainHost, std::int32_t fileId);
std::string filePageUrl(const std::string& mainHost, const std::string& fileIdText);
// MainHost + "/wdwj.php?pid=" + user id + "&ml=" + folder id.
std::string folderPageUrl(const std::string& mainHost, const std::string& userId, std::int32_t folderId);
// DirectLinkHost + "/yunxz1.php?pid=" + file id + "&szmm=" + access password;
// an empty access password becomes "0" and is stored back into state.
std::string directLinkUrl(const std::string& directLinkHost, const std::string& fileIdText, BrowserState& state);
// MainHost + "/post/sxwjx.php?zh=" + account (recent web uploads).
std::string recentWebUploadsUrl(const std::string& mainHost, const std::string& account);

}  // namespace tarnwick::browser
