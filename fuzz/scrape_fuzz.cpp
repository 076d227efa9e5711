// The scrapers of the folder, listing and search pages, and the replies of
// login, QQ sign-in, the watchdog, update check and folder operations, fed
// with arbitrary pages under the window's own patterns.
#include "account/login.h"
#include "account/update_check.h"
#include "browser/folders.h"
#include "browser/listing.h"
#include "browser/operations.h"
#include "fuzz_input.h"
#include "net/text.h"

using namespace tarnwick;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzInput in = splitFuzzInput(data, size);
  const std::string& page = in.first;
  static const std::string folderPattern = "<div  style=\"height:35px;\">.*?id=\"x.*?\">";
  static const std::string rowPattern = net::fromUtf8(
      "<div style=\"display:none;\">pid：.*?<文件名：.*?<大小：.*?<日期：.*?<下载量：.*?< </div>\r");
  switch (in.selector % 6) {
    case 0:
      browser::extractFolderEntries(page, folderPattern);
      browser::parentIdText(page);
      break;
    case 1:
      browser::extractFileRows(page, rowPattern);
      browser::pageItems(browser::pageCount(page));
      break;
    case 2:
      browser::extractSearchHits(page, in.second.empty() ? rowPattern : in.second, net::fromUtf8("文件名："),
                                 ">pid:", "http://h");
      break;
    case 3:
      browser::accessPasswordFrom(page, in.second);
      browser::createFolderSucceeded(page);
      browser::replyHasOne(page);
      break;
    case 4:
      account::judgeLoginReply(page);
      account::parseQqPoll(page);
      break;
    case 5:
      account::loggedInElsewhere(page);
      account::isWebAddress(page);
      break;
  }
  return 0;
}
