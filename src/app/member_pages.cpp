#include "app/member_pages.h"

#include "net/form.h"
#include "net/hosts.h"

namespace tarnwick::app {

std::string webUploadPageUrl(const std::string& webUploadHost, const std::string& account) {
  return net::withQuery(webUploadHost + net::kWebUploadPagePath, net::FormBuilder().add("zh", account).add("ml", "0"));
}

std::string memberListingUrl(const std::string& mainHost, const std::string& userId) {
  return net::withQuery(mainHost + "/wdwj.php", net::FormBuilder().add("pid", userId));
}

}  // namespace tarnwick::app
