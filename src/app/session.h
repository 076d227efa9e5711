#pragma once
// The logged-in member, one process-wide record. Texts are GBK; "" = unset.
// accountName is "" exactly while nobody has logged in yet; it is only
// overwritten by a later successful login, never cleared on logout.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace tarnwick::app {

struct SessionData {
  std::string accountName;  // sent as zh (and as pid by the account endpoints)
  std::string userId;       // numeric member id, sent as pid by listings and links
  std::string loginName;    // shown to the user
  std::string email;        // "" when the service reports none
  std::string qqPassword;   // from the QQ sign-in poll
  std::int32_t currentFolderId = 0;  // 0 = the default folder
  std::string logTime;      // time-of-day prefix of log lines
  bool startupLogged = false;
};

// Guarded access: the login paths write, every other thread reads a copy.
class Session {
 public:
  static Session& instance();
  SessionData get() const;
  void set(const SessionData& d);
  template <class F>
  void update(F&& f) {
    std::lock_guard lock(m_mutex);
    f(m_data);
  }
  std::string accountName() const { return get().accountName; }
  std::string userId() const { return get().userId; }
  std::int32_t currentFolderId() const { return get().currentFolderId; }
  void setCurrentFolderId(std::int32_t id) { update([&](SessionData& d) { d.currentFolderId = id; }); }
  bool loggedIn() const { return !get().accountName.empty(); }

 private:
  mutable std::mutex m_mutex;
  SessionData m_data;
};

}  // namespace tarnwick::app
