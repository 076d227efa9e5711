#pragma once
// A connection cache that several libcurl easy handles share, one after the
// other or from several threads: a transfer that ends leaves its logged-in
// connection here, and the next transfer to the same server and user takes
// it up instead of connecting and logging in again. The owner keeps it for
// as long as its run lasts; the connections still cached close with it.

#include <mutex>

typedef void CURLSH;

namespace tarnwick::net {

class ConnectionShare {
public:
  ConnectionShare();
  ~ConnectionShare();
  ConnectionShare(const ConnectionShare&) = delete;
  ConnectionShare& operator=(const ConnectionShare&) = delete;

  CURLSH* handle() const { return m_share; }

private:
  std::mutex& lockOf(int data);
  CURLSH* m_share = nullptr;
  std::mutex m_connections, m_dns, m_other;
};

}  // namespace tarnwick::net
