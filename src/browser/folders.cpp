#include "browser/folders.h"

#include "browser/scrape.h"
#include "net/form.h"
#include "net/regex.h"
#include "net/text.h"

namespace tarnwick::browser {

const std::string& defaultFolderName() { return gbk("默认文件夹"); }
const std::string& unnamedFolderName() { return gbk("(未命名)"); }

std::string folderListUrl(const std::string& mainHost, const std::string& account, bool mainWindow) {
  net::FormBuilder query;
  query.add("zh", account);
  if (mainWindow) query.add("ml", "0");
  return net::withQuery(mainHost + "/sc/index.php", query);
}

std::string folderPropertiesUrl(const std::string& mainHost, std::int32_t folderId,
                                const std::string& account) {
  net::FormBuilder query;
  query.add("pid", net::numberToText(folderId)).add("zh", account);
  return net::withQuery(mainHost + "/mlsx.php", query);
}

std::optional<FolderEntry> folderEntryFromMatch(std::string_view match) {
  const auto stretch = cutBetween(match, "margin-left: 10px;", "</a>");
  if (!stretch) return std::nullopt;
  const auto idText = cutBetween(*stretch, "&ml=", "\"");
  const auto id = idText ? leadingInt(*idText) : std::nullopt;
  const auto nameStretch = cutBetween(*stretch, "_blank", "&nbsp;");
  if (!id || !nameStretch) return std::nullopt;
  const int lastTag = net::findLast(*nameStretch, ">");
  std::string name = lastTag < 0 ? *nameStretch : nameStretch->substr(static_cast<std::size_t>(lastTag));
  // Markup that ends the stretch leaves no name; the folder still exists.
  if (name.empty()) name = unnamedFolderName();
  FolderEntry entry;
  entry.id = *id;
  entry.name = std::move(name);
  return entry;
}

std::vector<FolderEntry> extractFolderEntries(std::string_view page, std::string_view pattern) {
  std::vector<FolderEntry> out;
  net::Regex regex;  // this run's own matcher: runs on other threads keep theirs
  if (!regex.compile(pattern)) return out;
  for (const auto& match : regex.findAll(page))
    if (auto entry = folderEntryFromMatch(match.text)) out.push_back(std::move(*entry));
  return out;
}

std::string parentIdText(std::string_view propertiesPage) {
  return cutBetween(propertiesPage, "<option selected value=\"", "\"").value_or("");
}

std::string invitationText(const std::string& mainHost, const std::string& userId) {
  return gbk("哥们儿，快加入Tarnwick联盟跟我一起赚外快吧，安全放心！到这里注册：") + mainHost +
         "/zhuce.php?yq=" + userId;
}

}  // namespace tarnwick::browser
