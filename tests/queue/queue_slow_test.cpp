// The upload queue against an FTP server that takes the data at 100 KB/s
// (a service of the test's own): the upload finishes with the upload's real
// 5 s time-outs and is registered.
#include <gtest/gtest.h>
#include <unistd.h>

#include "../fixtures/service_db.h"
#include "account/login.h"
#include "ftp_peer.h"
#include "net/http.h"
#include "service_process.h"
#include "transfer/md5.h"
#include "transfer/upload_queue.h"
#include "transfer_waiter.h"

namespace tarnwick::transfer::test {
namespace {

TEST(QueueSlow, AnUploadToARateLimitedServerFinishesAndIsRegistered) {
  const std::string dir = makeTempDir("queue-slow");
  tarnwick::test::ServiceProcess service(dir + "/data", {{"TARNWICK_FTP_RATE", "102400"}});
  ASSERT_TRUE(service.start()) << service.error();
  const account::Request login = account::loginRequest(service.httpUrl(), "demo", "demo123");
  auto reply = account::judgeLoginReply(net::httpRequestText(login.url, "POST", "", "", login.body));
  ASSERT_TRUE(reply);
  const std::string name = "slow-" + std::to_string(::getpid()) + ".bin";
  const std::string bytes = trickyBytes(2 << 20, 60);
  writeFile(dir + "/" + name, bytes);

  UploadQueue q;
  UploadContext c;
  c.mainHost = service.httpUrl();
  c.ftpHost = service.ftpHost();
  c.account = "demo";
  c.userId = reply->userId;
  c.instant = false;
  q.setContext(c);
  q.add(dir + "/" + name, 0);
  q.start();
  ASSERT_TRUE(q.waitIdle(120000));
  ASSERT_EQ(q.finished().size(), 1u) << (q.rows().empty() ? "" : q.rows()[0].reason);
  // Registered with the bytes sent.
  const auto rows = tarnwick::test::queryDb(dir + "/data/tarnwick.db", "SELECT md5 FROM files WHERE id=" +
                                                                          std::to_string(q.finished()[0].remoteId));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], md5OfBytes(bytes));
  service.stop();
  removeTree(dir);
}

}  // namespace
}  // namespace tarnwick::transfer::test
