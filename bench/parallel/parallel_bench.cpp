// Parallel large downloads: four files (default 256 MiB each) stored for demo
// on the local service, fetched through the download queue with three slots
// (address page, then the file) and by curl -Z --parallel-max 3 straight
// from the same storage addresses, taking turns (best of the rounds each).
// The queue's side also samples the process's resident memory every 10 ms:
// the peak above the idle figure is what the slots cost.
//
// parallel_bench [MiB [rounds]]   (default 256 MiB, 2 rounds)
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "account/login.h"
#include "net/http.h"
#include "transfer/download_queue.h"
#include "transfer/md5.h"
#include "../plain_support.h"

using namespace tarnwick;
namespace fs = std::filesystem;

namespace {

using bench::envValue;
using bench::seconds;
using bench::statusKiB;

constexpr int kFiles = 4;
constexpr int kSlots = 3;

// Stores a file row for demo (user 1001) and returns its id, -1 on failure.
long addFileRow(const std::string& db, const std::string& name, std::int64_t size) {
  sqlite3* h = nullptr;
  long id = -1;
  if (sqlite3_open(db.c_str(), &h) == SQLITE_OK) {
    sqlite3_busy_timeout(h, 5000);
    const std::string sql = "INSERT INTO files(owner, folder, name, size, md5, date, downloads, storage) VALUES "
                            "(1001, 0, '" + name + "', " + std::to_string(size) +
                            ", '', '2026-01-01 10:00:00', 0, '1001/" + name + "')";
    if (sqlite3_exec(h, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) id = static_cast<long>(sqlite3_last_insert_rowid(h));
  }
  sqlite3_close(h);
  return id;
}

// Pseudo-random content, a different stream for each file, so a mix-up of
// two files or of two offsets shows in the MD5.
bool writeFile(const std::string& path, std::int64_t size, unsigned seed) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  std::vector<char> block(1 << 20);
  std::mt19937_64 rng(seed);
  for (std::size_t i = 0; i + 8 <= block.size(); i += 8) {
    const std::uint64_t v = rng();
    std::memcpy(block.data() + i, &v, 8);
  }
  for (std::int64_t off = 0; off < size; off += static_cast<std::int64_t>(block.size())) {
    std::memcpy(block.data(), &off, sizeof off);
    out.write(block.data(), std::min<std::int64_t>(static_cast<std::int64_t>(block.size()), size - off));
  }
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t mib = argc > 1 ? std::max(1L, std::atol(argv[1])) : 256;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2;
  const std::int64_t size = mib << 20;
  const std::string dir = (fs::temp_directory_path() / ("parallel-bench-" + std::to_string(::getpid()))).string();
  const std::string service = dir + "/service";
  if (std::system((TARNWICK_SOURCE_DIR "/tests/fixtures/service_up.sh " + service + " >/dev/null").c_str()) != 0)
    return 1;
  const std::string main = envValue(service + "/service.env", "TARNWICK_MAIN_HOST");
  const std::string data = envValue(service + "/service.env", "TARNWICK_SERVICE_DATA");
  int rc = 1;
  do {
    const account::Request login = account::loginRequest(main, "demo", "demo123");
    if (!account::judgeLoginReply(net::httpRequestText(login.url, "POST", "", "", login.body))) {
      std::fprintf(stderr, "login failed\n");
      break;
    }
    std::vector<long> ids;
    std::vector<std::string> names, md5s;
    std::string curlArgs;
    bool stored = true;
    for (int i = 0; i < kFiles && stored; ++i) {
      const std::string name = "big-" + std::to_string(i) + ".bin";
      const std::string path = data + "/storage/1001/" + name;
      stored = writeFile(path, size, 11 + i) && (ids.emplace_back(addFileRow(data + "/tarnwick.db", name, size)) > 0);
      names.push_back(name);
      md5s.push_back(transfer::md5OfFile(path));
      curlArgs += " -o " + dir + "/curl/" + name + " " + main + "/up/1001/" + name;
    }
    if (!stored) {
      std::fprintf(stderr, "could not store the files\n");
      break;
    }
    // -s does not quiet the parallel progress meter: it goes to stderr.
    const std::string curlCommand = "curl -s -Z --parallel-max " + std::to_string(kSlots) + curlArgs + " 2>/dev/null";

    double ours = 1e9, theirs = 1e9;
    long idleKiB = 0, peakAboveKiB = 0, hwmAboveKiB = 0;
    bool allOk = true;
    for (int round = 0; round < rounds; ++round) {
      fs::remove_all(dir + "/down");
      fs::remove_all(dir + "/curl");
      fs::create_directories(dir + "/down");
      fs::create_directories(dir + "/curl");
      {
        transfer::DownloadQueue down;
        transfer::DownloadContext dc;
        dc.mainHost = main;
        dc.storageHost = main;
        dc.saveFolder = dir + "/down";
        down.setContext(dc);
        down.setMaxActive(kSlots);
        for (int i = 0; i < kFiles; ++i) down.add(std::to_string(ids[i]), names[i], "");
        const long idle = statusKiB("VmRSS:");
        const long hwmBefore = statusKiB("VmHWM:");
        std::atomic<bool> sampling{true};
        std::atomic<long> peak{idle};
        std::thread sampler([&] {
          while (sampling) {
            peak = std::max(peak.load(), statusKiB("VmRSS:"));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          }
        });
        const auto began = std::chrono::steady_clock::now();
        down.start();
        const bool idleReached = down.waitIdle(1800000);
        const double t = seconds(began);
        sampling = false;
        sampler.join();
        down.stop();
        std::size_t good = 0;
        for (int i = 0; i < kFiles; ++i)
          if (transfer::md5OfFile(dir + "/down/" + names[i]) == md5s[i]) ++good;
        const bool ok = idleReached && down.finished().size() == kFiles && good == kFiles;
        allOk = allOk && ok;
        ours = std::min(ours, t);
        idleKiB = idle;
        peakAboveKiB = std::max(peakAboveKiB, peak.load() - idle);
        // VmHWM only rises: above idle only when this run set a new high.
        hwmAboveKiB = std::max(hwmAboveKiB, statusKiB("VmHWM:") - std::max(idle, hwmBefore));
        std::printf("round %d: ours %.2f s (%zu of %d byte-exact)", round + 1, t, good, kFiles);
      }
      fs::remove_all(dir + "/down");
      const auto began = std::chrono::steady_clock::now();
      const int curlRc = std::system(curlCommand.c_str());
      const double t = seconds(began);
      std::size_t good = 0;
      for (int i = 0; i < kFiles; ++i)
        if (transfer::md5OfFile(dir + "/curl/" + names[i]) == md5s[i]) ++good;
      std::printf(", curl %.2f s (%zu of %d byte-exact)\n", t, good, kFiles);
      if (curlRc == 0 && good == kFiles) theirs = std::min(theirs, t);
      std::fflush(stdout);
    }
    std::printf("parallel downloads (%d x %lld MiB, %d slots, best of %d): ours %.2f s, curl %.2f s, "
                "ratio %.3f (goal >= 0.95)\n",
                kFiles, static_cast<long long>(mib), kSlots, rounds, ours, theirs, theirs / ours);
    std::printf("peak memory above idle (VmRSS sampled every 10 ms, idle %.1f MiB): %.1f MiB; VmHWM above idle "
                "%.1f MiB (goal <= 64 MiB)\n",
                idleKiB / 1024.0, peakAboveKiB / 1024.0, std::max(0L, hwmAboveKiB) / 1024.0);
    rc = allOk && theirs < 1e9 ? 0 : 2;
  } while (false);
  std::system((TARNWICK_SOURCE_DIR "/tests/fixtures/service_down.sh " + service).c_str());
  fs::remove_all(dir);
  return rc;
}
