// Requests of the folder and file operations, reply tests, checks and the
// browser state's shared values.
#include <gtest/gtest.h>

#include <thread>

#include "browser/links.h"
#include "browser/operations.h"
#include "browser/scrape.h"
#include "browser/state.h"

using tarnwick::browser::gbk;
using tarnwick::browser::Request;
namespace b = tarnwick::browser;

namespace {

const std::string kHost = "http://h:8";

struct RequestCase {
  const char* what;
  Request actual;
  Request expected;
};

TEST(OperationRequests, Table) {
  // "新建" in GBK is D0 C2 BD A8, in UTF-8 E6 96 B0 E5 BB BA.
  const std::string name = gbk("新建");
  const RequestCase cases[] = {
      {"create: name as UTF-8", b::createFolderRequest(kHost, "demo", name, 7),
       {"POST", kHost + "/post/cjml.php?zh=demo", "fwmm=%E6%96%B0%E5%BB%BA&ejml=7"}},
      {"modify: body as UTF-8", b::modifyFolderRequest(kHost, "demo", 12, name, 0),
       {"POST", kHost + "/post/sz5.php?pid=demo&mlid=12", "btn2=%E6%96%B0%E5%BB%BA&btn1=0"}},
      {"delete folder", b::deleteFolderRequest(kHost, "demo", 12),
       {"POST", kHost + "/post/scml.php?pid=12&zh=demo", "vipjhm=12"}},
      {"rename: name as GBK", b::renameFolderRequest(kHost, "demo", 12, name),
       {"POST", kHost + "/post/sz5pc.php?mlid=12&pid=demo", "btn2=%D0%C2%BD%A8"}},
      {"external link: GBK", b::createLinkFileRequest(kHost, "demo", "3", name, "http://x.y/a?b=1&c=2"),
       {"POST", kHost + "/post/cjwjpc.php?mlpid=3&zh=demo",
        "wjm=%D0%C2%BD%A8&wldz=http%3A%2F%2Fx.y%2Fa%3Fb%3D1%26c%3D2"}},
      {"move files", b::moveFilesRequest(kHost, "demo", "5,9,12,", 3),
       {"GET", kHost + "/get/ydxz.php?pid=5%2C9%2C12%2C&ml=3&zh=demo", ""}},
      {"delete files carries the folder index", b::deleteFilesRequest(kHost, "demo", "5,", 4),
       {"GET", kHost + "/get/plzc.php?pid=5%2C&ml=4&zh=demo", ""}},
      {"nothing selected: empty pid", b::deleteFilesRequest(kHost, "demo", "", 0),
       {"GET", kHost + "/get/plzc.php?pid=&ml=0&zh=demo", ""}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.actual.method, c.expected.method) << c.what;
    EXPECT_EQ(c.actual.url, c.expected.url) << c.what;
    EXPECT_EQ(c.actual.body, c.expected.body) << c.what;
  }
}

TEST(ReplyTests, CreateFolderNeedsThreeBytesBesidesLineBreaks) {
  const std::pair<const char*, bool> cases[] = {
      {"ok12", true}, {"abc", true}, {"ab", false}, {"a\r\nb", false}, {"\r\n\r\n\r\nab", false},
      {"ab\r\nc", true}, {"", false}, {"a\rb", true}};
  for (const auto& [reply, ok] : cases) EXPECT_EQ(b::createFolderSucceeded(reply), ok) << reply;
}

TEST(ReplyTests, DigitOneAnywhere) {
  const std::pair<const char*, bool> cases[] = {{"1", true}, {"10", true}, {"ok1", true}, {"0", false},
                                                {"", false}, {"2", false}};
  for (const auto& [reply, ok] : cases) EXPECT_EQ(b::replyHasOne(reply), ok) << reply;
}

TEST(SelectedFileIds, TrailingComma) {
  EXPECT_EQ(b::selectedFileIds({5, 9, 12}), "5,9,12,");
  EXPECT_EQ(b::selectedFileIds({42}), "42,");
  EXPECT_EQ(b::selectedFileIds({}), "");
}

struct ModifyCase {
  std::int32_t folder, parent;
  const char* name;
  const char* parentText;
  const char* message;  // UTF-8; "" = may be sent
};

TEST(ModifyFolderChecks, InOrder) {
  const ModifyCase cases[] = {
      {0, 0, "", "", "无法修改默认目录！"},
      {0, 5, "x", "p", "无法修改默认目录！"},
      {5, 5, "", "", "子目录不能是自己！"},  // itself as parent comes before the name check
      {5, 0, "", "", "新目录名不能为空！"},
      {5, 0, "x", "", "请选择一个目录级别"},
      {5, 0, "x", "p", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(b::modifyFolderRefusal(c.folder, c.parent, c.name, c.parentText), gbk(c.message))
        << c.folder << "/" << c.parent;
  EXPECT_EQ(b::deleteFolderRefusal(0), gbk("无法删除默认目录！"));
  EXPECT_EQ(b::deleteFolderRefusal(3), "");
}

TEST(Links, Addresses) {
  b::BrowserState state;
  EXPECT_EQ(b::filePageUrl(kHost, 31), kHost + "/ym.php?pid=31");
  EXPECT_EQ(b::folderPageUrl(kHost, "1001", 4), kHost + "/wdwj.php?pid=1001&ml=4");
  EXPECT_EQ(b::recentWebUploadsUrl(kHost, "demo"), kHost + "/post/sxwjx.php?zh=demo");
  state.setAccessPassword("alice8");
  EXPECT_EQ(b::directLinkUrl("http://d", "31", state), "http://d/yunxz1.php?pid=31&szmm=alice8");
  EXPECT_EQ(state.accessPassword(), "alice8");
}

TEST(Links, EmptyAccessPasswordBecomesZeroAndIsStored) {
  b::BrowserState state;
  EXPECT_EQ(b::directLinkUrl("http://d", "7", state), "http://d/yunxz1.php?pid=7&szmm=0");
  EXPECT_EQ(state.accessPassword(), "0");
}

TEST(BrowserState, ListingBusyIsTestAndSet) {
  b::BrowserState state;
  std::atomic<int> started{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&] {
      if (state.tryBeginListing()) ++started;
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(started.load(), 1);
  EXPECT_TRUE(state.listingBusy());
  EXPECT_FALSE(state.tryBeginListing());
  state.endListing();
  EXPECT_TRUE(state.tryBeginListing());
}

}  // namespace
