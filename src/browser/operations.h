#pragma once
// Requests of the folder and file operations, their reply tests and the
// checks made before anything is sent.

#include <cstdint>
#include <string>
#include <vector>

namespace tarnwick::browser {

struct Request {
  std::string method;  // "POST" or "GET"
  std::string url;
  std::string body;    // "" for GET
  bool operator==(const Request&) const = default;
};

// POST /post/cjml.php?zh=account, "fwmm=" + name (as UTF-8) + "&ejml=" + parent id.
Request createFolderRequest(const std::string& mainHost, const std::string& account,
                            const std::string& nameGbk, std::int32_t parentId);
// POST /post/sz5.php?pid=account&mlid=folder, "btn2=" + name + "&btn1=" + parent, as UTF-8.
Request modifyFolderRequest(const std::string& mainHost, const std::string& account, std::int32_t folderId,
                            const std::string& nameGbk, std::int32_t parentId);
// POST /post/scml.php?pid=folder&zh=account, "vipjhm=" + folder id.
Request deleteFolderRequest(const std::string& mainHost, const std::string& account, std::int32_t folderId);
// POST /post/sz5pc.php?mlid=folder&pid=account, "btn2=" + name (GBK as typed).
Request renameFolderRequest(const std::string& mainHost, const std::string& account, std::int32_t folderId,
                            const std::string& nameGbk);
// POST /post/cjwjpc.php?mlpid=folder&zh=account, "wjm=" + name + "&wldz=" + address (GBK).
Request createLinkFileRequest(const std::string& mainHost, const std::string& account,
                              const std::string& linkFolderId, const std::string& nameGbk,
                              const std::string& addressGbk);
// GET /get/ydxz.php?pid=ids&ml=target&zh=account.
Request moveFilesRequest(const std::string& mainHost, const std::string& account, const std::string& fileIds,
                         std::int32_t targetFolderId);
// GET /get/plzc.php?pid=ids&ml=saved folder index&zh=account.
Request deleteFilesRequest(const std::string& mainHost, const std::string& account, const std::string& fileIds,
                           std::int32_t savedFolderIndex);

// Create folder: the reply without its "\r\n" pairs is at least 3 bytes.
bool createFolderSucceeded(const std::string& reply);
// Modify, delete, rename, external link: the reply holds the digit "1".
bool replyHasOne(const std::string& reply);

// Each id followed by "," in the given order ("5,9,12,"); "" for none.
std::string selectedFileIds(const std::vector<std::int32_t>& ids);

// The checks of a folder modification, in order; the GBK message of the first
// that fails, or "" when the request may be sent.
std::string modifyFolderRefusal(std::int32_t folderId, std::int32_t parentId, const std::string& newNameGbk,
                                const std::string& parentTextGbk);
// "无法删除默认目录！" for the default folder, otherwise "".
std::string deleteFolderRefusal(std::int32_t folderId);

}  // namespace tarnwick::browser
