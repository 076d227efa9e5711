#pragma once
// Process-wide state of the cloud file browser, shared by the folder list,
// the file listing, the links, the folder and file operations and the
// transfers. Flags and indexes are atomics; texts are guarded by a mutex, so
// a listing worker and the GUI thread may read and write them at once.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace tarnwick::browser {

class BrowserState {
 public:
  static BrowserState& instance();

  // Index (0-based) of the folder selected last in the folder list; restored
  // after every reload of the folder list.
  std::atomic<std::int32_t> savedFolderIndex{0};
  // Set by the first folder load that found folder entries.
  std::atomic<bool> foldersLoadedOnce{false};
  // True when the next listing must refill the page selector.
  std::atomic<bool> rebuildPageList{false};
  // 1 = the file-operation window deletes, 2 = it moves.
  std::atomic<std::int32_t> fileOpMode{0};

  // The listing busy flag, tested and set as one step: of two listings that
  // start at the same moment exactly one gets true.
  bool tryBeginListing() { return !m_fileListBusy.exchange(true); }
  void endListing() { m_fileListBusy.store(false); }
  bool listingBusy() const { return m_fileListBusy.load(); }

  std::string accessPassword() const;
  void setAccessPassword(const std::string& gbk);
  // The access password for a direct link: an empty one becomes "0", and the
  // "0" is stored back (in one step, so a listing writing meanwhile is not lost).
  std::string accessPasswordForLink();

  std::string linkFolderId() const;
  void setLinkFolderId(const std::string& id);
  std::string selectedFileIds() const;
  void setSelectedFileIds(const std::string& ids);

  // Back to the start-up values (tests).
  void reset();

 private:
  std::atomic<bool> m_fileListBusy{false};
  mutable std::mutex m_mutex;
  std::string m_accessPassword;
  std::string m_linkFolderId;
  std::string m_selectedFileIds;
};

}  // namespace tarnwick::browser
