#pragma once
// One row of an upload or download queue, its text form (what the queue
// store keeps per row), and the whole-file queue of earlier versions.
//
//              start()                        file in place
//   Queued  ------------->  Running  ------------------------------> Done
//     ^  ^                    |   |
//     |  |  service unreachable|   | refused, local error, changed file
//     |  +---- (reconnect) ----+   v
//     |                          Failed (reason) --- start() ---> Queued
//   Paused (loaded from the saved queue, or reconnects gave up) -- start() --^
//
// Texts are GBK (names, reasons); paths are native file-system bytes.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick::transfer {

enum class RowState { Queued, Running, Paused, Failed, Done };

// What a download row wrote so far: its own partial file, as the row left it.
// The row continues it only while path, size and modification time are
// still these; serverTotal is the complete size the server announced.
struct PartialFile {
  std::string path;
  std::int64_t size = -1;
  std::int64_t mtimeNs = 0;
  std::int64_t serverTotal = -1;
  bool operator==(const PartialFile&) const = default;
};

struct QueueRow {
  std::uint64_t id = 0;      // unique in its queue, kept in the saved file
  std::string account;       // the member who queued it (GBK)
  RowState state = RowState::Queued;
  std::string reason;        // why it failed or paused (GBK), empty otherwise

  // Upload: the local file and where it goes. Download: the listed file and
  // the folder it is saved in. folder / saveFolder are fixed when the row
  // first starts unless given when it was queued.
  std::string localPath;                 // upload: native path of the file
  std::string name;                      // upload: file name sent; download: listed name (GBK)
  std::optional<std::int32_t> folderId;  // upload: target folder
  std::string fileId;                    // download: the file's id (pid)
  std::string sizeText;                  // download: the size column of the listing
  std::string saveFolder;                // download: native folder with its trailing "/"

  PartialFile partial;       // download: the partial file of this row
  bool registrationUnknown = false;  // upload: sent, but the registration got no reply
  int brokenTries = 0;       // transfers of this row broken after they began
  bool brokenOff = false;    // failed because its transfer kept breaking off (a network fault)

  // Done.
  std::int64_t size = -1;    // bytes of the file
  std::int64_t remoteId = 0; // upload: the service's id of the file
  bool instant = false;      // upload: taken by MD5 without sending
  std::string finalPath;     // download: where the file now is
};

// Native file-system facts of a path; exists false when it cannot be read.
struct FileStamp {
  bool exists = false;
  std::int64_t size = -1;
  std::int64_t mtimeNs = 0;
  bool operator==(const FileStamp&) const = default;
};
FileStamp stampOf(const std::string& path);

// The whole-file queue of the earlier versions: a first line "tarnwick-queue
// 1", then one line per row of tab-separated key=value fields, each value
// percent-encoded (the same text encodeRow gives, which the store keeps per
// row). Written whole (temporary file and rename), readable by its owner
// only. saveRows is false when the file could not be written; loadRows gives
// the rows readSavedFile takes.
bool saveRows(const std::string& path, const std::vector<QueueRow>& rows);
std::vector<QueueRow> loadRows(const std::string& path);
std::string encodeRow(const QueueRow& row);
std::optional<QueueRow> decodeRow(const std::string& line);

// Reads a whole-file queue. Lines end in LF, CRLF or CR. A last line without
// its line end was cut while it was written: it is reported, not taken; so
// is a line that does not decode. problems are UTF-8 lines.
struct SavedFile {
  bool found = false;  // the file exists and starts with the header line
  std::vector<QueueRow> rows;
  std::vector<std::string> problems;
};
SavedFile readSavedFile(const std::string& path);

// Empty when a saved row can be worked as it is, otherwise why not (UTF-8):
// an upload needs an absolute local path and a name; a download a numeric
// file id, a save folder that is absolute, normalised and ends in "/" (or
// none yet), and a partial file only inside that folder.
std::string checkRow(const QueueRow& row, bool download);

}  // namespace tarnwick::transfer
