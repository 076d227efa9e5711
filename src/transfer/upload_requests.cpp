#include "transfer/upload_requests.h"

#include "net/form.h"
#include "net/hosts.h"
#include "net/text.h"

namespace tarnwick::transfer {

namespace {

constexpr std::string_view kSuccessMarker = "INSERT INTO `wenjian`";

net::FormBuilder targetQuery(const UploadTarget& target) {
  net::FormBuilder q;
  q.add("bsm", target.account).add("mlid", net::numberToText(target.folderId));
  return q;
}

std::string nameBody(const std::string& fileNameGbk) { return net::FormBuilder().add("wjdl", fileNameGbk).str(); }

}  // namespace

UploadRequest instantUploadRequest(const UploadTarget& target, const std::string& md5,
                                   const std::string& fileNameGbk) {
  net::FormBuilder q = targetQuery(target);
  q.add("md5", md5);
  return {net::withQuery(target.mainHost + "/jsmc.php", q), nameBody(fileNameGbk)};
}

UploadRequest registerUploadRequest(const UploadTarget& target, const std::string& fileNameGbk) {
  return {net::withQuery(target.mainHost + "/tjwj.php", targetQuery(target)), nameBody(fileNameGbk)};
}

std::optional<std::int64_t> uploadedFileId(const std::string& reply) {
  if (reply.find(kSuccessMarker) == std::string::npos) return std::nullopt;
  return net::textToInt(net::textBetween(reply, "xxxx", "x"));
}

std::string webUploadUrl(const std::string& webUploadHost, const std::string& account, std::int32_t folderId) {
  return net::withQuery(webUploadHost + net::kWebUploadPagePath,
                        net::FormBuilder().add("zh", account).add("ml", net::numberToText(folderId)));
}

TransferParams ftpUploadParams(const FtpUploadFile& file) {
  TransferParams p;
  p.remoteUrl = "ftp://" + file.ftpHost + "/" + file.fileNameGbk + kUploadSuffix;
  p.localFile = file.localPath;
  p.ftpUser = file.user;
  p.ftpPassword = file.password;
  p.connectTimeoutMs = 5000;
  p.sendTimeoutMs = 5000;
  p.receiveTimeoutMs = 5000;
  p.sendBlockBytes = 20480;
  return p;
}

}  // namespace tarnwick::transfer
