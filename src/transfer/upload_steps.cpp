#include "transfer/upload_steps.h"

#include "net/http.h"
#include "transfer/local_file.h"
#include "transfer/md5.h"

namespace tarnwick::transfer {

namespace {

std::string post(const UploadRequest& r) { return net::httpRequestText(r.url, "POST", "", "", r.body); }

}  // namespace

InstantUploadResult tryInstantUpload(const UploadTarget& target, const std::string& localPath,
                                     const std::string& fileNameGbk) {
  InstantUploadResult result;
  result.size = LocalFile::sizeOf(localPath);
  result.md5 = md5OfFile(localPath);
  if (result.md5.empty() || result.size < 0) return result;
  result.fileId = uploadedFileId(post(instantUploadRequest(target, result.md5, fileNameGbk)));
  return result;
}

std::optional<std::int64_t> registerUpload(const UploadTarget& target, const std::string& fileNameGbk) {
  return uploadedFileId(post(registerUploadRequest(target, fileNameGbk)));
}

}  // namespace tarnwick::transfer
