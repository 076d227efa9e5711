#include "browser/operations.h"

#include "browser/folders.h"
#include "browser/scrape.h"
#include "net/form.h"
#include "net/text.h"

namespace tarnwick::browser {

namespace {

std::string id(std::int32_t value) { return net::numberToText(value); }

std::string at(const std::string& mainHost, const char* path, const net::FormBuilder& query) {
  return net::withQuery(mainHost + path, query);
}

}  // namespace

Request createFolderRequest(const std::string& mainHost, const std::string& account,
                            const std::string& nameGbk, std::int32_t parentId) {
  return {"POST", at(mainHost, "/post/cjml.php", net::FormBuilder().add("zh", account)),
          net::FormBuilder().add("fwmm", nameGbk, net::Charset::Utf8).add("ejml", id(parentId)).str()};
}

Request modifyFolderRequest(const std::string& mainHost, const std::string& account, std::int32_t folderId,
                            const std::string& nameGbk, std::int32_t parentId) {
  return {"POST",
          at(mainHost, "/post/sz5.php", net::FormBuilder().add("pid", account).add("mlid", id(folderId))),
          net::FormBuilder()
              .add("btn2", nameGbk, net::Charset::Utf8)
              .add("btn1", id(parentId), net::Charset::Utf8)
              .str()};
}

Request deleteFolderRequest(const std::string& mainHost, const std::string& account, std::int32_t folderId) {
  return {"POST", at(mainHost, "/post/scml.php", net::FormBuilder().add("pid", id(folderId)).add("zh", account)),
          net::FormBuilder().add("vipjhm", id(folderId)).str()};
}

Request renameFolderRequest(const std::string& mainHost, const std::string& account, std::int32_t folderId,
                            const std::string& nameGbk) {
  return {"POST",
          at(mainHost, "/post/sz5pc.php", net::FormBuilder().add("mlid", id(folderId)).add("pid", account)),
          net::FormBuilder().add("btn2", nameGbk).str()};
}

Request createLinkFileRequest(const std::string& mainHost, const std::string& account,
                              const std::string& linkFolderId, const std::string& nameGbk,
                              const std::string& addressGbk) {
  return {"POST",
          at(mainHost, "/post/cjwjpc.php", net::FormBuilder().add("mlpid", linkFolderId).add("zh", account)),
          net::FormBuilder().add("wjm", nameGbk).add("wldz", addressGbk).str()};
}

Request moveFilesRequest(const std::string& mainHost, const std::string& account, const std::string& fileIds,
                         std::int32_t targetFolderId) {
  return {"GET",
          at(mainHost, "/get/ydxz.php",
             net::FormBuilder().add("pid", fileIds).add("ml", id(targetFolderId)).add("zh", account)),
          ""};
}

Request deleteFilesRequest(const std::string& mainHost, const std::string& account, const std::string& fileIds,
                           std::int32_t savedFolderIndex) {
  return {"GET",
          at(mainHost, "/get/plzc.php",
             net::FormBuilder().add("pid", fileIds).add("ml", id(savedFolderIndex)).add("zh", account)),
          ""};
}

bool createFolderSucceeded(const std::string& reply) {
  return net::replaceText(reply, "\r\n", "").size() >= 3;
}

bool replyHasOne(const std::string& reply) { return net::find(reply, "1") > 0; }

std::string selectedFileIds(const std::vector<std::int32_t>& ids) {
  std::string out;
  for (const auto value : ids) out += id(value) + ",";
  return out;
}

std::string modifyFolderRefusal(std::int32_t folderId, std::int32_t parentId, const std::string& newNameGbk,
                                const std::string& parentTextGbk) {
  if (folderId == kDefaultFolderId) return gbk("无法修改默认目录！");
  if (parentId == folderId) return gbk("子目录不能是自己！");
  if (newNameGbk.empty()) return gbk("新目录名不能为空！");
  if (parentTextGbk.empty()) return gbk("请选择一个目录级别");
  return "";
}

std::string deleteFolderRefusal(std::int32_t folderId) {
  return folderId == kDefaultFolderId ? gbk("无法删除默认目录！") : std::string();
}

}  // namespace tarnwick::browser
