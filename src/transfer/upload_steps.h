#pragma once
// The blocking steps of one client upload, run on a worker thread: the
// instant upload (streaming MD5 of the file, then the offer to the service)
// and the registration of a file that arrived by FTP.

#include <cstdint>
#include <optional>
#include <string>

#include "transfer/upload_requests.h"

namespace tarnwick::transfer {

struct InstantUploadResult {
  std::optional<std::int64_t> fileId;  // set when the service took the file at once
  std::int64_t size = -1;              // bytes of the local file, -1 when it cannot be read
  std::string md5;                     // "" when the file cannot be read (no request is sent then)
};

// localPath is a native path; the file is read in blocks, never whole.
InstantUploadResult tryInstantUpload(const UploadTarget& target, const std::string& localPath,
                                     const std::string& fileNameGbk);
// The id of the registered file, or nothing when the service did not take it.
std::optional<std::int64_t> registerUpload(const UploadTarget& target, const std::string& fileNameGbk);

}  // namespace tarnwick::transfer
