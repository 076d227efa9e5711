#pragma once
// The parameter record of one transfer and what a transfer reports back.
//
// One record serves both kinds of transfer (FtpUpload, HttpDownload); each
// reads the common fields and its own group, and the callers fill a few
// fields and keep the defaults of the rest. Local paths are native
// file-system paths; the remote URL is sent with its bytes unchanged (bytes
// that a URL cannot carry raw are percent-encoded on the way to libcurl,
// which decodes them again).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tarnwick::net {
class ConnectionShare;
}

namespace tarnwick::transfer {

// Event codes passed to the finished handler.
inline constexpr int kEventThreadEnded = 4;    // the transfer thread ends (every time, once)
inline constexpr int kEventNameConflict = 18;  // download target exists: true = give up

// How a transfer ended.
enum class Outcome {
  Completed,         // every byte is in place
  Closed,            // close() ended it
  GivenUp,           // the download target existed and the handler said give up
  ConnectFailed,     // no connection or no login
  NetworkError,      // connection broken, time-out, data connection failure
  ServerRefused,     // FTP reply other than expected; HTTP 400, 403 or 404
  UnsupportedReply,  // any other HTTP status
  LocalFileError,    // the local file could not be read or written
  BadParameters,     // no local file, or a URL of the wrong kind
  FileChanged,       // upload: the local file was written to while it was sent
};

// The error text of Outcome::FileChanged, GBK: 文件在上传过程中被修改
inline constexpr const char* kFileChangedError =
    "\xce\xc4\xbc\xfe\xd4\xda\xc9\xcf\xb4\xab\xb9\xfd\xb3\xcc\xd6\xd0\xb1\xbb\xd0\xde\xb8\xc4";

const char* outcomeName(Outcome o);

// What the finished handler learns besides the event code.
struct TransferReport {
  bool succeeded = false;      // true only with Outcome::Completed
  Outcome outcome = Outcome::BadParameters;
  std::int64_t startOffset = 0;   // where this run began in the file (REST / Range)
  std::int64_t bytesMoved = 0;    // bytes moved over the data connection in this run
  std::int64_t position = 0;      // bytes of the file in place at the end (offset + moved)
  std::int64_t totalSize = -1;    // complete size of the file, -1 when unknown
  int status = 0;                 // last HTTP status or FTP reply code, 0 when none
  std::string error;              // readable reason, empty on success
  std::string localFile;          // localFile of the record
  std::string remoteUrl;          // remoteUrl of the record
};

// Progress: code 1, remote URL, local file, bytes in place, complete size (-1 unknown).
using ProgressHandler =
    std::function<void(int code, const std::string& remoteUrl, const std::string& localFile,
                       std::int64_t position, std::int64_t totalSize)>;
// Code 4: the transfer has ended (report filled in, the answer is ignored);
// called through the record's handlerExecutor, or on the transfer thread
// when there is none. Code 18: the download target exists; true gives the
// download up, false continues into the file from its present size; always
// asked on the transfer thread.
using FinishedHandler = std::function<bool(int code, const TransferReport& report)>;

struct TransferParams {
  // Both kinds.
  std::string remoteUrl;         // ftp://host[:port]/name or http[s]://...
  std::string localFile;         // the file sent, or the file the download writes
  // Bytes per second for this transfer alone, 0 = no cap of its own; the
  // process-wide limit of its direction (rate_limit.h) applies as well.
  std::int64_t rateLimit = 0;
  int connectTimeoutMs = 20000;  // longest wait for a connection
  int sendTimeoutMs = 20000;     // longest stall while sending
  int receiveTimeoutMs = 20000;  // longest wait for the server
  int closeWaitMs = 1000;        // how long close() waits for the transfer to end
  int retries = 0;               // extra connection attempts
  ProgressHandler onProgress;
  FinishedHandler onFinished;
  // Runs the code-4 call of the finished handler. Empty: the handler runs on
  // the transfer thread. The GUI sets a queued call to its own thread, so a
  // handler that waits on the GUI or starts the next transfer never runs on
  // a thread that another one joins. The executor must run or drop every
  // function it is given; the object counts as running until then.
  std::function<void(std::function<void()>)> handlerExecutor;

  // FTP upload.
  std::string ftpUser = "anonymous";             // empty: "anonymous"
  std::string ftpPassword = kAnonymousPassword;  // empty: kAnonymousPassword
  int sendBlockBytes = 1024;                     // bytes per block handed to the socket
  // Ask the server for the size of the remote file first and continue a
  // partial one with REST. Only for a retry of the same content: a stale
  // partial file of another content with the same name would otherwise be
  // continued.
  bool resumeUpload = false;
  // The upload leaves its logged-in session here and takes up one left by
  // an earlier upload to the same server and user: a queue hands the same
  // cache to every file of its run. Empty: every upload logs in and quits.
  std::shared_ptr<net::ConnectionShare> connections;

  // HTTP download.
  std::string referer;    // Referer sent (empty: the header with no value)
  std::string userAgent;  // empty: kDefaultUserAgent

  // e-mail shaped, 17 characters, the conventional anonymous-FTP password
  static constexpr const char* kAnonymousPassword = "guest@example.org";
  static constexpr const char* kDefaultUserAgent = "Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)";
};

}  // namespace tarnwick::transfer
