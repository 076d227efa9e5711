#pragma once
// The service side of a client upload: the instant-upload request (the
// file's MD5 offered to the service), the registration of a file sent by FTP,
// the reply test both share, the FTP parameter record of one file and the
// web-upload page address.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "transfer/transfer_params.h"

namespace tarnwick::transfer {

// Appended to the file name for the FTP file that the registration takes in.
inline constexpr const char* kUploadSuffix = ".tnwklswj";

struct UploadRequest {
  std::string url;
  std::string body;  // POST body "wjdl=" + file name
  bool operator==(const UploadRequest&) const = default;
};

// Where an upload goes: the service, the member (bsm) and the folder (mlid).
struct UploadTarget {
  std::string mainHost;
  std::string account;  // GBK
  std::int32_t folderId = 0;
};

// POST MainHost/jsmc.php?bsm=account&mlid=folder&md5=digest, "wjdl=" + name.
UploadRequest instantUploadRequest(const UploadTarget& target, const std::string& md5,
                                   const std::string& fileNameGbk);
// POST MainHost/tjwj.php?bsm=account&mlid=folder, "wjdl=" + name.
UploadRequest registerUploadRequest(const UploadTarget& target, const std::string& fileNameGbk);

// Both replies: success exactly when the reply holds "INSERT INTO `wenjian`";
// the new file's id is the number between the first "xxxx" and the next "x".
std::optional<std::int64_t> uploadedFileId(const std::string& reply);

// WebUploadHost/sc/index2.php?zh=account&ml=folder.
std::string webUploadUrl(const std::string& webUploadHost, const std::string& account, std::int32_t folderId);

// The FTP upload of one file: the original local file (native path) sent
// straight to name + kUploadSuffix on ftpHost ("host[:port]"), always in
// binary type, 5 s time-outs, 20 KiB send blocks. Empty user and password
// log in anonymously. The handlers are left for the caller.
struct FtpUploadFile {
  std::string ftpHost;
  std::string localPath;
  std::string fileNameGbk;
  std::string user;
  std::string password;
};
TransferParams ftpUploadParams(const FtpUploadFile& file);

}  // namespace tarnwick::transfer

namespace tarnwick::transfer {

// The name a file gets on the service when it is registered under nameGbk:
// the service turns < > " & \ / | and control bytes into "_", trims blanks
// and keeps 120 characters ("file" when nothing is left).
std::string storedFileName(const std::string& nameGbk);

// Whether the temporary file of an upload (name + kUploadSuffix) is still
// on the FTP server: asked with SIZE by the login of the upload.
enum class RemoteFile { Present, Absent, Unreachable };
RemoteFile temporaryFileState(const FtpUploadFile& file, const std::atomic<bool>* cancel);

}  // namespace tarnwick::transfer
