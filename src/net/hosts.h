#pragma once
// Service hosts. Compiled-in defaults, overridden by the environment
// variables TARNWICK_MAIN_HOST, TARNWICK_DIRECT_LINK_HOST,
// TARNWICK_STORAGE_HOST, TARNWICK_WEB_UPLOAD_HOST ("scheme://host[:port]",
// no trailing slash) and TARNWICK_FTP_HOST ("host[:port]"). TARNWICK_SERVICE
// ("scheme://host[:port]") sets the four HTTP hosts at once, for a service
// that answers all of them on one address; a specific variable still wins.

#include <string>

#include "version.h"

namespace tarnwick::net {

struct Hosts {
  std::string mainHost;        // login, listings, forms, QQ page, update file
  std::string directLinkHost;  // "/yunxz1.php"
  std::string storageHost;     // "/up/..."
  std::string webUploadHost;   // "/sc/index2.php"
  std::string ftpHost;         // FTP upload, "host[:port]"
};

// Read once from the environment on first use.
const Hosts& hosts();
// Tests: read the environment again.
void reloadHosts();

// Service addresses the client builds, each written only here.
// The web upload page behind WebUploadHost (query zh=account&ml=folder).
inline constexpr const char* kWebUploadPagePath = "/sc/index2.php";
// The member's home page behind MainHost: the announcements, the web version
// (query zh=account), and the page fetched to see whether the session is
// alive (sessionCheckUrl).
inline constexpr const char* kMemberHomePath = "/guanli.php";
// MainHost + kMemberHomePath + "?pid=1".
std::string sessionCheckUrl(const std::string& mainHost);

// The client's version text, compared with the service's update file.
inline constexpr const char* kClientVersion = TARNWICK_UPDATE_VERSION;

}  // namespace tarnwick::net
