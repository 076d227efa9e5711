#pragma once
// A stand-in for every service host on 127.0.0.1, for GUI tests that do not
// need the local service: an HTTP server on its own thread that answers each
// request through a handler the test sets and records the request lines.
// pointAllHostsHere() points every TARNWICK_*_HOST at it, so no request of
// the client under test can leave the machine.
#include <httplib.h>

#include <QByteArray>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/hosts.h"

namespace testsupport {

class StandInHost {
 public:
  struct Seen {
    std::string method, target, body;  // target = path + "?" + query as sent
  };
  // Answer for a request; the default answers "" (status 200).
  using Handler = std::function<std::string(const Seen&)>;

  StandInHost() {
    auto serve = [this](const httplib::Request& req, httplib::Response& res) {
      Seen seen{req.method, req.target, req.body};
      Handler h;
      {
        std::lock_guard lock(m_mutex);
        m_seen.push_back(seen);
        h = m_handler;
      }
      res.set_content(h ? h(seen) : std::string(), "text/html");
    };
    m_server.Get(".*", serve);
    m_server.Post(".*", serve);
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
  }
  ~StandInHost() {
    m_server.stop();
    if (m_thread.joinable()) m_thread.join();
  }

  std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port); }
  void setHandler(Handler h) {
    std::lock_guard lock(m_mutex);
    m_handler = std::move(h);
  }
  std::vector<Seen> seen() const {
    std::lock_guard lock(m_mutex);
    return m_seen;
  }
  // How many requests went to a target starting with prefix.
  int count(const std::string& prefix) const {
    int n = 0;
    for (const Seen& s : seen())
      if (s.target.rfind(prefix, 0) == 0) ++n;
    return n;
  }

  void pointAllHostsHere() const {
    const QByteArray http = QByteArray::fromStdString(url());
    for (const char* name : {"TARNWICK_MAIN_HOST", "TARNWICK_DIRECT_LINK_HOST", "TARNWICK_STORAGE_HOST",
                             "TARNWICK_WEB_UPLOAD_HOST"})
      qputenv(name, http);
    qputenv("TARNWICK_FTP_HOST", QByteArray("127.0.0.1:") + QByteArray::number(m_port));
    tarnwick::net::reloadHosts();
  }

 private:
  httplib::Server m_server;
  int m_port = 0;
  std::thread m_thread;
  mutable std::mutex m_mutex;
  std::vector<Seen> m_seen;
  Handler m_handler;
};

}  // namespace testsupport
