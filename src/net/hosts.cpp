#include "net/hosts.h"

#include <cstdlib>
#include <mutex>

namespace tarnwick::net {
namespace {

std::string fromEnv(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  std::string s = (v && *v) ? v : fallback;
  while (!s.empty() && s.back() == '/') s.pop_back();
  return s;
}

// The default of an HTTP host: the one service address when
// TARNWICK_SERVICE names it, the compiled-in host otherwise.
std::string httpDefault(const char* builtIn) {
  const char* service = std::getenv("TARNWICK_SERVICE");
  return (service && *service) ? std::string(service) : std::string(builtIn);
}

Hosts readHosts() {
  Hosts h;
  h.mainHost = fromEnv("TARNWICK_MAIN_HOST", httpDefault("http://www.tarnwick.com"));
  h.directLinkHost = fromEnv("TARNWICK_DIRECT_LINK_HOST", httpDefault("http://down.tarnwick.com"));
  h.storageHost = fromEnv("TARNWICK_STORAGE_HOST", httpDefault("http://up.tarnwick.com"));
  h.webUploadHost = fromEnv("TARNWICK_WEB_UPLOAD_HOST", httpDefault("http://sc.tarnwick.com"));
  h.ftpHost = fromEnv("TARNWICK_FTP_HOST", "www.tarnwick.com");
  return h;
}

std::mutex g_mutex;
Hosts g_hosts;
bool g_loaded = false;

}  // namespace

const Hosts& hosts() {
  std::lock_guard lock(g_mutex);
  if (!g_loaded) {
    g_hosts = readHosts();
    g_loaded = true;
  }
  return g_hosts;
}

void reloadHosts() {
  std::lock_guard lock(g_mutex);
  g_hosts = readHosts();
  g_loaded = true;
}

std::string sessionCheckUrl(const std::string& mainHost) { return mainHost + kMemberHomePath + "?pid=1"; }

}  // namespace tarnwick::net
