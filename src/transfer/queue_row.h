#pragma once
// One row of an upload or download queue, its text form (what the queue
// store keeps per row), and the whole-file queue of earlier versions.
//
//                 a free slot, no exclusive key taken, the gate open
//   Queued  ------------------------------------------> Running --> Done
//    ^ ^  ^                                             |  |  |
//    | |  +--- stop(), or broken off (tried again soon) -+  |  | refused, local
//    | |                                                    |  | error, changed
//    | +-- gate reopens -- Waiting <-- service unreachable -+  v file
//    |                                                      Failed (reason)
//    +-- resume() -- Held <-- hold() (from any state but Done) |
//    +-- retry(), start() ------------------------------------+
//
// Saved text of the states: "queued", "running", "waiting", "held",
// "failed", "done"; the "paused" of earlier versions reads as queued.
//
// Texts are GBK (names, reasons); paths are native file-system bytes.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick::transfer {

enum class RowState {
  Queued,
  Running,
  Waiting,
  Held,
  Failed,
  Done,
};
// The saved text of a state ("queued", "running", ...).
const char* rowStateName(RowState state);

// What a download does when its target name is taken: replace the file, save
// under a new name (a number before the name), or fail (Keep).
enum class NameRule { Overwrite = 0, Rename = 1, Keep = -1 };

// A request whose effect the service keeps (a file row) was sent, and its
// reply is not known: the row is saved so before the request leaves.
// (Folder: a create-folder request; the folder then may or may not exist,
// "created: unknown", and is looked up by name before any new request.)
enum class Pending { None = 0, Registration = 1, Instant = 2, Folder = 3 };

// What a row does. Most rows move one file; a folder uploaded or downloaded
// whole (a tree) adds rows of two more kinds:
//   MakeFolder (upload queue): makes the cloud folder `name` under folderId,
//     or takes the existing one of that name (the lowest id); remoteId is its
//     id when Done. Rows inside it name it in `after`.
//   ExpandFolder (download queue): walks the cloud folder fileId and puts a
//     download row per file in its place (and makes the local folders,
//     empty ones too) under saveFolder, in one commit with its own end.
enum class RowKind { File = 0, MakeFolder = 1, ExpandFolder = 2 };

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
  std::string reason;        // why it failed or waits (GBK), empty otherwise
  RowKind kind = RowKind::File;

  // A tree: the row that must be Done before this one may start (0: none; a
  // MakeFolder row whose folder this row goes into: its id becomes this
  // row's folderId then). tree is the id of the tree's first row (0: not in
  // a tree), treePath the row's path inside it ("照片/2024/a.jpg", GBK).
  std::uint64_t after = 0;
  std::uint64_t tree = 0;
  std::string treePath;

  // Upload: the local file and where it goes. Download: the listed file and
  // the folder it is saved in. Every rule that decides the outcome is fixed
  // when the row is queued and travels with it: nothing is read from a
  // window or from the run that happens to start the row.
  std::string localPath;                 // upload: absolute native path of the file
  std::string name;                      // upload: file name sent; download: listed name (GBK)
  std::optional<std::int32_t> folderId;  // upload: target folder
  std::string ftpHost;                   // upload: "host[:port]" the file goes to
  std::string ftpUser;                   // upload: FTP login (empty: anonymous); never the password
  std::string fileId;                    // download: the file's id (pid)
  std::string sizeText;                  // download: the size column of the listing
  std::string saveFolder;                // download: absolute native folder with its trailing "/"
  NameRule rule = NameRule::Overwrite;   // download: a taken target name

  // Download: the partial file of this row. partial.size is the checkpoint:
  // the bytes known to be in the partial when the row was last saved.
  PartialFile partial;
  bool bodyComplete = false;  // download: every byte is in the partial; only the rename is left
  // Upload: a request that makes a file row was sent without a known reply.
  // newestIdBefore is the newest file id of the target folder before it left
  // (only a same-named file newer than that is its evidence), sentAtMs when.
  Pending pending = Pending::None;
  std::int64_t newestIdBefore = 0;
  std::int64_t sentAtMs = 0;
  int brokenTries = 0;       // transfers of this row broken after they began
  bool brokenOff = false;    // failed because its transfer kept breaking off (a network fault)
  bool localFault = false;   // failed on this machine (disk full, name too long, file gone)

  // Done.
  std::int64_t size = -1;    // bytes of the file
  std::int64_t remoteId = 0; // upload: the service's id of the file
  bool instant = false;      // upload: taken by MD5 without sending
  std::string finalPath;     // download: where the file now is
  std::string note;          // download: why it was saved under another name (GBK), empty otherwise
};

// Queued again with a clean slate: no reason, no broken tries, no fault.
void queueAgain(QueueRow& row);

// Native file-system facts of a path; exists false when it cannot be read.
struct FileStamp {
  bool exists = false;
  std::int64_t size = -1;
  std::int64_t mtimeNs = 0;
  bool operator==(const FileStamp&) const = default;
};
FileStamp stampOf(const std::string& path);

// The whole-file queue of the earlier versions, read once to move it into the
// store: a first line "tarnwick-queue 1", then one line per row of
// tab-separated key=value fields, each value percent-encoded (the same text
// encodeRow gives, which the store keeps per row). loadRows gives the rows
// readSavedFile takes.
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
