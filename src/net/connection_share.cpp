#include "net/connection_share.h"

#include <curl/curl.h>

#include "net/curl_global.h"

namespace tarnwick::net {
ConnectionShare::ConnectionShare() {
  ensureCurlGlobal();
  m_share = curl_share_init();
  if (!m_share) return;
  curl_share_setopt(m_share, CURLSHOPT_USERDATA, this);
  curl_share_setopt(m_share, CURLSHOPT_LOCKFUNC, +[](CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<ConnectionShare*>(self)->lockOf(data).lock();
  });
  curl_share_setopt(m_share, CURLSHOPT_UNLOCKFUNC, +[](CURL*, curl_lock_data data, void* self) {
    static_cast<ConnectionShare*>(self)->lockOf(data).unlock();
  });
  curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
  curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
}

std::mutex& ConnectionShare::lockOf(int data) {
  if (data == CURL_LOCK_DATA_CONNECT) return m_connections;
  return data == CURL_LOCK_DATA_DNS ? m_dns : m_other;
}

ConnectionShare::~ConnectionShare() {
  if (m_share) curl_share_cleanup(m_share);
}

}  // namespace tarnwick::net
