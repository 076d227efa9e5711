#include "transfer/upload_requests.h"

#include <string_view>
#include <vector>

#include "net/curl_handles.h"
#include "transfer/wire_url.h"

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

namespace tarnwick::transfer {

std::string storedFileName(const std::string& nameGbk) {
  // Character by character: a GBK double byte is one character and is never
  // taken for one of the refused single bytes.
  std::string out;
  std::vector<std::size_t> starts;  // where each character of out begins
  for (std::size_t i = 0; i < nameGbk.size();) {
    const auto c = static_cast<unsigned char>(nameGbk[i]);
    const std::size_t len = c >= 0x81 && c <= 0xFE && i + 1 < nameGbk.size() ? 2 : 1;
    starts.push_back(out.size());
    if (len == 1 && (c < 0x20 || std::string_view("<>\"&\\/|").find(static_cast<char>(c)) != std::string::npos))
      out += '_';
    else
      out.append(nameGbk, i, len);
    i += len;
  }
  // Blanks trimmed at both ends (single bytes only).
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; };
  std::size_t begin = 0, end = out.size();
  while (begin < end && blank(out[begin])) ++begin;
  while (end > begin && blank(out[end - 1])) --end;
  std::size_t kept = 0, cut = begin;
  for (std::size_t s : starts) {
    if (s < begin) continue;
    if (s >= end) break;
    if (kept++ == 120) break;
    cut = s;
  }
  std::string name = out.substr(begin, end - begin);
  if (kept > 120) name = out.substr(begin, cut - begin);
  if (name.empty() || name == "." || name == "..") name = "file";
  return name;
}

namespace {
int onProgress(void* cancel, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return cancel && static_cast<const std::atomic<bool>*>(cancel)->load() ? 1 : 0;
}
}  // namespace

RemoteFile temporaryFileState(const FtpUploadFile& file, const std::atomic<bool>* cancel) {
  FtpTarget target;
  if (!parseFtpUrl(ftpUploadParams(file).remoteUrl, target)) return RemoteFile::Unreachable;
  net::CurlEasy easy(curl_easy_init());
  CURL* e = easy.get();
  if (!e) return RemoteFile::Unreachable;
  const std::string user = file.user.empty() ? "anonymous" : file.user;
  const std::string pass = file.password.empty() ? TransferParams::kAnonymousPassword : file.password;
  curl_easy_setopt(e, CURLOPT_URL, target.curlUrl.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "ftp");
  curl_easy_setopt(e, CURLOPT_PROXY, "");
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_USERNAME, user.c_str());
  curl_easy_setopt(e, CURLOPT_PASSWORD, pass.c_str());
  curl_easy_setopt(e, CURLOPT_NOBODY, 1L);  // SIZE only
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, 5000L);
  curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, 20000L);
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, onProgress);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(cancel));
  const CURLcode rc = curl_easy_perform(e);
  if (rc == CURLE_OK) return RemoteFile::Present;
  if (rc == CURLE_REMOTE_FILE_NOT_FOUND || rc == CURLE_FTP_COULDNT_RETR_FILE) return RemoteFile::Absent;
  return RemoteFile::Unreachable;
}

}  // namespace tarnwick::transfer
