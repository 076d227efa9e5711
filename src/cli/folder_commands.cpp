// mkdir, rmdir, mv and rm: the folder and file operations of the browser.
#include <functional>

#include "browser/folder_tree.h"
#include "browser/operations.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/service_calls.h"
#include "net/hosts.h"
#include "net/text.h"
#include "transfer/folder_trees.h"

namespace tarnwick::cli {
namespace {

using nlohmann::json;

std::string send(const browser::Request& r) {
  return r.method == "POST" ? postForm(r.url, r.body) : fetchPage(r.url);
}

// Sends one request per file, so the reply tells about that file alone.
// Exit: 0 all done, 3 none done, 5 some done.
int eachFile(const Output& out, const std::vector<std::int32_t>& ids, const char* verb, const std::string& failure,
             const std::function<browser::Request(const std::string& idList)>& requestFor) {
  json list = json::array();
  std::string lines;
  std::size_t done = 0;
  for (const std::int32_t id : ids) {
    const bool ok = browser::replyHasOne(send(requestFor(browser::selectedFileIds({id}))));
    list.push_back({{"id", id}, {"ok", ok}});
    if (ok) {
      ++done;
      lines += std::string(verb) + " " + std::to_string(id) + "\n";
    } else {
      list.back()["error"] = failure;
      printError("file " + std::to_string(id) + ": " + failure);
    }
  }
  out.result(list, lines);
  if (done == ids.size()) return kExitOk;
  return done == 0 ? kExitRefused : kExitPartial;
}

}  // namespace

int makeFolder(const Output& out, const std::string& nameUtf8, std::int32_t parentId) {
  if (nameUtf8.empty()) throw CliError(kExitUsage, "the folder name is empty");
  // A name the service would refuse is told before anything is sent, with
  // the exit code of a refusal, as before.
  if (const std::string why = transfer::cloudNameProblem(nameUtf8); !why.empty())
    throw CliError(kExitRefused, "the service does not take the folder name " + nameUtf8 + ": " + why);
  const StoredSession s = requireSession();
  const std::string name = net::fromUtf8(nameUtf8);
  const std::string reply = send(browser::createFolderRequest(net::hosts().mainHost, s.accountName, name, parentId));
  if (!browser::createFolderSucceeded(reply))
    throw CliError(kExitRefused, "the service did not create the folder " + nameUtf8 +
                                     " (a name it refuses, or no parent folder " + std::to_string(parentId) + ")");
  const auto id = browser::newFolderId(reply);
  json result = {{"name", nameUtf8}, {"parent", parentId}};
  result["id"] = id ? json(*id) : json(nullptr);
  out.result(result, (id ? std::to_string(*id) : std::string("?")) + "\t" + plainName(nameUtf8) + "\n");
  return kExitOk;
}

int removeFolder(const Output& out, std::int32_t folderId) {
  if (!browser::deleteFolderRefusal(folderId).empty())
    throw CliError(kExitRefused, "the default folder cannot be deleted");
  const StoredSession s = requireSession();
  if (!browser::replyHasOne(send(browser::deleteFolderRequest(net::hosts().mainHost, s.accountName, folderId))))
    throw CliError(kExitRefused, "folder " + std::to_string(folderId) + " was not deleted (it has subfolders or is not yours)");
  out.result({{"id", folderId}, {"ok", true}}, "deleted folder " + std::to_string(folderId) + "\n");
  return kExitOk;
}

int moveFiles(const Output& out, const std::vector<std::int32_t>& fileIds, std::int32_t targetFolderId) {
  const StoredSession s = requireSession();
  const std::string host = net::hosts().mainHost;
  return eachFile(out, fileIds, "moved", "not moved (no such file of yours, or no folder " +
                                             std::to_string(targetFolderId) + ")",
                  [&](const std::string& ids) {
                    return browser::moveFilesRequest(host, s.accountName, ids, targetFolderId);
                  });
}

int removeFiles(const Output& out, const std::vector<std::int32_t>& fileIds) {
  const StoredSession s = requireSession();
  const std::string host = net::hosts().mainHost;
  // The windows send the folder's list index as "ml"; the service goes by the ids.
  return eachFile(out, fileIds, "deleted", "not deleted (no such file of yours)", [&](const std::string& ids) {
    return browser::deleteFilesRequest(host, s.accountName, ids, 0);
  });
}

}  // namespace tarnwick::cli
