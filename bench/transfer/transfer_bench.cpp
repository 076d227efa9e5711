// Throughput of the transfer engine next to curl and md5sum, and its peak
// memory on a 4 GiB file. Needs about 7 GiB free in /tmp; everything it
// creates there is deleted at the end.
//
//   transfer_bench [size in MiB, default 1024]

#include <signal.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "ftp_sink.h"
#include "transfer/local_file.h"
#include "transfer/md5.h"
#include "transfer/ftp_upload.h"
#include "transfer/http_download.h"
#include "../plain_support.h"

using namespace tarnwick::transfer;
using Clock = std::chrono::steady_clock;

namespace {

using tarnwick::bench::resetPeak;
using tarnwick::bench::statusKiB;

double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

double shell(const std::string& cmd) {
  auto t = Clock::now();
  int rc = std::system(cmd.c_str());
  if (rc != 0) std::fprintf(stderr, "command failed (%d): %s\n", rc, cmd.c_str());
  return since(t);
}

void makeFile(const std::string& path, std::int64_t bytes) {
  std::vector<char> block(1 << 20);
  std::mt19937_64 rng(42);
  for (std::size_t i = 0; i < block.size(); i += 8) {
    std::uint64_t v = rng();
    std::memcpy(block.data() + i, &v, 8);
  }
  LocalFile f;
  f.open(path, LocalFile::Mode::Write);
  f.truncate(0);
  for (std::int64_t off = 0; off < bytes; off += static_cast<std::int64_t>(block.size())) {
    block[0] = static_cast<char>(off >> 20);  // no two blocks alike
    f.writeAt(off, block.data(), block.size());
  }
}

// Runs one transfer to its end; returns seconds, fills the report.
template <class Kind>
double runTransfer(TransferParams p, TransferReport& report) {
  std::mutex m;
  std::condition_variable cv;
  bool ended = false;
  p.onFinished = [&](int code, const TransferReport& r) {
    if (code == kEventNameConflict) return false;
    if (code == kEventThreadEnded) {
      std::lock_guard l(m);
      report = r;
      ended = true;
      cv.notify_all();
    }
    return true;
  };
  Kind t;
  auto begin = Clock::now();
  t.start(p);
  std::unique_lock l(m);
  cv.wait(l, [&] { return ended; });
  return since(begin);
}

struct HttpServer {
  pid_t pid = -1;
  int port = 0;
  HttpServer(const std::string& root) {
    for (port = 18000 + getpid() % 2000; port < 20000; ++port) {
      pid = fork();
      if (pid == 0) {
        std::string addr = "127.0.0.1:" + std::to_string(port);
        execlp("busybox", "busybox", "httpd", "-f", "-p", addr.c_str(), "-h", root.c_str(), nullptr);
        _exit(127);
      }
      usleep(300000);
      if (waitpid(pid, nullptr, WNOHANG) == 0) return;  // still running: it listens
    }
    pid = -1;
  }
  ~HttpServer() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
};

void ratio(const char* what, double oursSeconds, double theirsSeconds, std::int64_t bytes, double goal) {
  double mib = static_cast<double>(bytes) / (1 << 20);
  double r = theirsSeconds / oursSeconds;
  std::printf("%-34s ours %8.1f MiB/s  reference %8.1f MiB/s  ratio %.3f (goal >= %.2f) %s\n", what,
              mib / oursSeconds, mib / theirsSeconds, r, goal, r >= goal ? "ok" : "BELOW GOAL");
}

}  // namespace

int main(int argc, char** argv) {
  const long startRss = statusKiB("VmRSS:");
  const std::int64_t size = (argc > 1 ? std::atoll(argv[1]) : 1024) << 20;
  const std::int64_t big = (4LL << 30) + 12345;
  struct statvfs vfs {};
  statvfs("/tmp", &vfs);
  double freeGiB = static_cast<double>(vfs.f_bavail) * vfs.f_frsize / (1 << 30);
  if (freeGiB < 8 + 2.0 * size / (1LL << 30)) {
    std::fprintf(stderr, "only %.1f GiB free in /tmp\n", freeGiB);
    return 1;
  }
  char tmpl[] = "/tmp/tarnwick-bench-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  const std::string file = dir + "/one.bin", out = dir + "/out.bin";
  makeFile(file, size);
  std::printf("file of %lld MiB in %s\n", static_cast<long long>(size >> 20), dir.c_str());

  FtpSink sink;
  HttpServer http(dir);
  if (http.pid < 0) {
    std::fprintf(stderr, "busybox httpd did not start\n");
    return 1;
  }
  const std::string ftpUrl = "ftp://127.0.0.1:" + std::to_string(sink.port()) + "/one.tnwklswj";
  const std::string httpUrl = "http://127.0.0.1:" + std::to_string(http.port) + "/one.bin";
  shell("cat " + file + " > /dev/null");  // warm the page cache for every contender alike

  // FTP upload, as the upload worker sets it up (blocks of 20480 bytes).
  TransferParams up;
  up.remoteUrl = ftpUrl;
  up.localFile = file;
  up.sendBlockBytes = std::getenv("BLOCK") ? std::atoi(std::getenv("BLOCK")) : 20480;
  TransferReport r;
  double curlUp = 1e9, oursUp = 1e9;
  for (int i = 0; i < 3; ++i) {
    curlUp = std::min(curlUp, shell("curl -s -T " + file + " " + ftpUrl));
    oursUp = std::min(oursUp, runTransfer<FtpUpload>(up, r));
    if (!r.succeeded || sink.lastUploadBytes() != size) std::printf("upload failed: %s\n", r.error.c_str());
  }
  ratio("FTP upload (vs curl -T)", oursUp, curlUp, size, 0.95);
  if (std::getenv("TARNWICK_BENCH_ONLY_FTP")) {
    std::filesystem::remove_all(dir);
    return 0;
  }

  // HTTP download into a fresh file each time.
  TransferParams down;
  down.remoteUrl = httpUrl;
  down.localFile = out;
  double curlDown = 1e9, oursDown = 1e9;
  for (int i = 0; i < 3; ++i) {
    std::filesystem::remove(out);
    curlDown = std::min(curlDown, shell("curl -s -o " + out + " " + httpUrl));
    std::filesystem::remove(out);
    oursDown = std::min(oursDown, runTransfer<HttpDownload>(down, r));
    if (!r.succeeded || LocalFile::sizeOf(out) != size) std::printf("download failed: %s\n", r.error.c_str());
  }
  std::filesystem::remove(out);
  ratio("HTTP download (vs curl -o)", oursDown, curlDown, size, 0.95);

  // MD5 of the same file.
  double sumTime = 1e9, oursMd5 = 1e9;
  std::string digest;
  for (int i = 0; i < 3; ++i) {
    sumTime = std::min(sumTime, shell("md5sum " + file + " > " + dir + "/sum.txt"));
    auto t = Clock::now();
    digest = md5OfFile(file);
    oursMd5 = std::min(oursMd5, since(t));
  }
  std::ifstream sumIn(dir + "/sum.txt");
  std::string expected;
  sumIn >> expected;
  if (digest != expected) std::printf("MD5 MISMATCH %s vs %s\n", digest.c_str(), expected.c_str());
  ratio("MD5 (vs md5sum)", oursMd5, sumTime, size, 0.9);
  std::filesystem::remove(file);

  // Peak memory on a sparse 4 GiB file, upload then download.
  const std::string sparse = dir + "/big.bin";
  {
    LocalFile f;
    f.open(sparse, LocalFile::Mode::Write);
    f.truncate(big);
  }
  long idle = statusKiB("VmRSS:");
  resetPeak();
  up.localFile = sparse;
  double t1 = runTransfer<FtpUpload>(up, r);
  long peakUp = statusKiB("VmHWM:");
  std::printf("4 GiB upload:   %s in %.1f s, %lld bytes arrived; peak RSS %ld KiB, idle %ld KiB: +%.1f MiB "
              "(goal <= 64)\n",
              r.succeeded ? "ok" : r.error.c_str(), t1, static_cast<long long>(sink.lastUploadBytes()),
              peakUp, idle, (peakUp - idle) / 1024.0);
  idle = statusKiB("VmRSS:");
  resetPeak();
  down.remoteUrl = "http://127.0.0.1:" + std::to_string(http.port) + "/big.bin";
  down.localFile = out;
  double t2 = runTransfer<HttpDownload>(down, r);
  long peakDown = statusKiB("VmHWM:");
  std::printf("4 GiB download: %s in %.1f s, %lld bytes written; peak RSS %ld KiB, idle %ld KiB: +%.1f MiB "
              "(goal <= 64)\n",
              r.succeeded ? "ok" : r.error.c_str(), t2, static_cast<long long>(LocalFile::sizeOf(out)),
              peakDown, idle, (peakDown - idle) / 1024.0);
  std::printf("resident at program start: %ld KiB\n", startRss);
  std::filesystem::remove_all(dir);
  return 0;
}
