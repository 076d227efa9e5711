#include "app/session.h"

namespace tarnwick::app {

Session& Session::instance() {
  static Session s;
  return s;
}

SessionData Session::get() const {
  std::lock_guard lock(m_mutex);
  return m_data;
}

void Session::set(const SessionData& d) {
  std::lock_guard lock(m_mutex);
  m_data = d;
}

}  // namespace tarnwick::app
