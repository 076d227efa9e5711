#include "browser/links.h"

#include "browser/listing.h"
#include "browser/state.h"
#include "net/form.h"
#include "net/text.h"

namespace tarnwick::browser {

std::string filePageUrl(const std::string& mainHost, std::int32_t fileId) {
  return filePageUrl(mainHost, net::numberToText(fileId));
}

std::string filePageUrl(const std::string& mainHost, const std::string& fileIdText) {
  return net::withQuery(mainHost + "/ym.php", net::FormBuilder().add("pid", fileIdText));
}

std::string folderPageUrl(const std::string& mainHost, const std::string& userId, std::int32_t folderId) {
  return listingUrl(mainHost, userId, folderId);
}

std::string directLinkUrl(const std::string& directLinkHost, const std::string& fileIdText, BrowserState& state) {
  net::FormBuilder query;
  query.add("pid", fileIdText).add("szmm", state.accessPasswordForLink());
  return net::withQuery(directLinkHost + "/yunxz1.php", query);
}

std::string recentWebUploadsUrl(const std::string& mainHost, const std::string& account) {
  return net::withQuery(mainHost + "/post/sxwjx.php", net::FormBuilder().add("zh", account));
}

}  // namespace tarnwick::browser
