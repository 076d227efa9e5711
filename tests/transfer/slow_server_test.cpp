// Uploads with the upload page's own parameters (5 s time-outs) to a local
// service whose FTP data connections are throttled to 100 KiB/s: the data
// waits in the socket's send queue far longer than any time-out, and the
// transfer must still finish; a file written to meanwhile must fail.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <unistd.h>

#include "ftp_peer.h"
#include "net/text.h"
#include "service_process.h"
#include "transfer/md5.h"
#include "transfer/ftp_upload.h"
#include "transfer/upload_requests.h"
#include "transfer_waiter.h"
#include "../time_scale.h"

namespace tarnwick::transfer::test {
namespace {

struct SlowCase {
  const char* label;
  std::size_t size;
  bool growing;  // a writer appends to the file while it is sent
  Outcome expected;
};

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Another rate-limited server instead of the local service (vsftpd with
// local_max_rate, see tools/slow-ftp.md): TARNWICK_SLOW_FTP_HOST=host:port,
// TARNWICK_SLOW_FTP_USER / _PASSWORD, TARNWICK_SLOW_FTP_DIR = the folder the
// uploads land in, read for the MD5.
TEST(SlowServer, AThrottledServerIsNoStallAndAFileWrittenMeanwhileFails) {
  const std::string dir = makeTempDir("slow");
  tarnwick::test::ServiceProcess service(dir + "/data", {{"TARNWICK_FTP_RATE", "102400"}});
  std::string host = env("TARNWICK_SLOW_FTP_HOST"), landing = env("TARNWICK_SLOW_FTP_DIR");
  if (host.empty()) {
    ASSERT_TRUE(service.start()) << service.error();
    host = service.ftpHost();
    landing = service.dataDir() + "/ftp";
  }
  const SlowCase cases[] = {
      {"2 MiB, unchanged", 2 << 20, false, Outcome::Completed},
      {"1 MiB, growing", 1 << 20, true, Outcome::FileChanged},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string bytes = trickyBytes(c.size, 29);
    const std::string local = dir + "/local-" + std::to_string(&c - cases);
    writeFile(local, bytes);
    FtpUploadFile file;
    file.ftpHost = host;
    file.user = env("TARNWICK_SLOW_FTP_USER");
    file.password = env("TARNWICK_SLOW_FTP_PASSWORD");
    file.localPath = local;
    file.fileNameGbk = "slow-" + std::to_string(::getpid()) + "-" + std::to_string(&c - cases);
    Waiter w;
    TransferParams p = ftpUploadParams(file);
    p.onFinished = w.handler();
    FtpUpload t;
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_TRUE(t.start(p));
    std::atomic<bool> stop{false};
    std::thread writer([&] {
      if (!c.growing) return;
      std::ofstream out(local, std::ios::binary | std::ios::app);
      while (!stop) {
        out.write("more", 4);
        out.flush();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    });
    const bool ended = w.waitEnded(static_cast<int>(90000 * testTimeScale()));
    stop = true;
    writer.join();
    ASSERT_TRUE(ended);
    const TransferReport& r = w.report;
    EXPECT_EQ(r.outcome, c.expected) << outcomeName(r.outcome) << ": " << r.error;
    EXPECT_EQ(r.succeeded, c.expected == Outcome::Completed);
    if (c.expected == Outcome::Completed) {
      // Far beyond both 5 s limits: the limits only count time in which nothing moved.
      EXPECT_GT(secondsSince(begin), 8.0);
      EXPECT_EQ(md5OfFile(landing + "/" + file.fileNameGbk + kUploadSuffix), md5OfBytes(bytes));
    } else {
      EXPECT_EQ(r.error, kFileChangedError);
      EXPECT_EQ(net::toUtf8(r.error), "文件在上传过程中被修改");
    }
  }
  service.stop();
  removeTree(dir);
}

}  // namespace
}  // namespace tarnwick::transfer::test
