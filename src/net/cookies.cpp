#include "net/cookies.h"

#include <curl/curl.h>

#include <mutex>

#include "net/curl_global.h"
#include "net/text.h"

namespace tarnwick::net {
namespace {

std::mutex g_locks[CURL_LOCK_DATA_LAST];

void lockShare(CURL*, curl_lock_data data, curl_lock_access, void*) { g_locks[data].lock(); }
void unlockShare(CURL*, curl_lock_data data, void*) { g_locks[data].unlock(); }

// A short-lived handle attached to the share, for reading and writing the store.
struct StoreHandle {
  CURL* h = nullptr;
  StoreHandle() {
    h = curl_easy_init();
    if (h) {
      curl_easy_setopt(h, CURLOPT_SHARE, cookieShare());
      curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");
    }
  }
  ~StoreHandle() {
    if (h) curl_easy_cleanup(h);
  }
  StoreHandle(const StoreHandle&) = delete;
  StoreHandle& operator=(const StoreHandle&) = delete;
};

}  // namespace

bool parseCookieLine(std::string_view line, Cookie& c) {
  constexpr std::string_view httpOnly = "#HttpOnly_";
  if (line.substr(0, httpOnly.size()) == httpOnly) {
    line.remove_prefix(httpOnly.size());
    c.httpOnly = true;
  }
  Pieces f;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= line.size(); ++i) {
    if (i == line.size() || line[i] == '\t') {
      f.emplace_back(line.substr(start, i - start));
      start = i + 1;
    }
  }
  if (f.size() < 6) return false;
  c.domain = f[0];
  if (!c.domain.empty() && c.domain[0] == '.') c.domain.erase(0, 1);
  c.includeSubdomains = toUpper(f[1]) == "TRUE";
  c.path = f[2];
  c.secure = toUpper(f[3]) == "TRUE";
  c.expires = textToInt(f[4]);
  c.name = f[5];
  c.value = f.size() > 6 ? f[6] : std::string();
  return true;
}

CURLSH* cookieShare() {
  static CURLSH* share = [] {
    ensureCurlGlobal();
    CURLSH* s = curl_share_init();
    curl_share_setopt(s, CURLSHOPT_LOCKFUNC, lockShare);
    curl_share_setopt(s, CURLSHOPT_UNLOCKFUNC, unlockShare);
    curl_share_setopt(s, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    return s;  // lives until the process ends: handles may use it until then
  }();
  return share;
}

std::vector<Cookie> allCookies() {
  std::vector<Cookie> out;
  StoreHandle store;
  if (!store.h) return out;
  curl_slist* list = nullptr;
  if (curl_easy_getinfo(store.h, CURLINFO_COOKIELIST, &list) != CURLE_OK) return out;
  for (curl_slist* p = list; p; p = p->next) {
    Cookie c;
    if (p->data && parseCookieLine(p->data, c)) out.push_back(std::move(c));
  }
  curl_slist_free_all(list);
  return out;
}

void setCookie(const Cookie& c) {
  if (c.name.empty() || c.domain.empty()) return;
  StoreHandle store;
  if (!store.h) return;
  // libcurl's cookie-file form marks an HttpOnly cookie with this prefix.
  std::string line = std::string(c.httpOnly ? "#HttpOnly_" : "") + (c.includeSubdomains ? "." : "") + c.domain + "\t" + (c.includeSubdomains ? "TRUE" : "FALSE") +
                     "\t" + (c.path.empty() ? "/" : c.path) + "\t" + (c.secure ? "TRUE" : "FALSE") + "\t" +
                     numberToText(c.expires) + "\t" + c.name + "\t" + c.value;
  curl_easy_setopt(store.h, CURLOPT_COOKIELIST, line.c_str());
}

void clearCookies() {
  StoreHandle store;
  if (store.h) curl_easy_setopt(store.h, CURLOPT_COOKIELIST, "ALL");
}

}  // namespace tarnwick::net
