#include "browser/state.h"

namespace tarnwick::browser {

BrowserState& BrowserState::instance() {
  static BrowserState state;
  return state;
}

std::string BrowserState::accessPassword() const {
  std::lock_guard lock(m_mutex);
  return m_accessPassword;
}

void BrowserState::setAccessPassword(const std::string& gbk) {
  std::lock_guard lock(m_mutex);
  m_accessPassword = gbk;
}

std::string BrowserState::accessPasswordForLink() {
  std::lock_guard lock(m_mutex);
  if (m_accessPassword.empty()) m_accessPassword.assign(1, '0');
  return m_accessPassword;
}

std::string BrowserState::linkFolderId() const {
  std::lock_guard lock(m_mutex);
  return m_linkFolderId;
}

void BrowserState::setLinkFolderId(const std::string& id) {
  std::lock_guard lock(m_mutex);
  m_linkFolderId = id;
}

std::string BrowserState::selectedFileIds() const {
  std::lock_guard lock(m_mutex);
  return m_selectedFileIds;
}

void BrowserState::setSelectedFileIds(const std::string& ids) {
  std::lock_guard lock(m_mutex);
  m_selectedFileIds = ids;
}

void BrowserState::reset() {
  savedFolderIndex = 0;
  foldersLoadedOnce = false;
  rebuildPageList = false;
  fileOpMode = 0;
  m_fileListBusy = false;
  std::lock_guard lock(m_mutex);
  m_accessPassword.clear();
  m_linkFolderId.clear();
  m_selectedFileIds.clear();
}

}  // namespace tarnwick::browser
