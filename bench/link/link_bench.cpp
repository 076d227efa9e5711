// Many small files each way over a link with latency (LinkRelay in front of
// the local service, every connection of the client and of curl through it,
// FTP data connections included), through the queues and through curl doing
// the same job in parallel:
//   down: the download queue (address page, then the file, with its slots)
//         against curl sending the queue's own requests, a new connection
//         each, with -Z --parallel-max 3; for reference curl fetching the
//         files one after another over one kept-alive connection;
//   up:   the upload queue (instant check, FTP, registration per file, with
//         its slots) against md5sum and curl's instant checks, `-T` of every
//         file and the registrations, each with -Z --parallel-max 2 (other
//         files of the same sizes, so the instant check finds none of them).
// Once at 0 ms and once at the round trip asked for. At 0 ms curl's figures
// are also taken straight to the service, to show the relay is not what
// limits them.
//
// link_bench [rtt-ms [files [bytes]]]: 40 ms, 100 files of 100 KB by default;
// LINK_BENCH_RATE caps the link (bytes/s each way, 0: none). Starts a service
// instance of its own. Exit code 0 when every file went both ways and the
// ratios over the link are at most 1.5.
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "../plain_support.h"
#include "account/login.h"
#include "link_relay.h"
#include "net/cookies.h"
#include "net/http.h"
#include "transfer/download_plan.h"
#include "transfer/download_queue.h"
#include "transfer/md5.h"
#include "transfer/upload_queue.h"
#include "transfer/upload_requests.h"

using namespace tarnwick;
namespace fs = std::filesystem;

namespace {

constexpr int kUploadSlots = 2;
constexpr int kDownloadSlots = 3;

using tarnwick::bench::column;
using tarnwick::bench::envValue;
using tarnwick::bench::seconds;
using tarnwick::bench::bestOfThree;
using tarnwick::bench::runShell;


// The queue's slots where the queue has them; a queue without slots runs
// one row at a time.
template <class Queue>
int useSlots(Queue& queue, int slots) {
  if constexpr (requires { queue.setMaxActive(slots); }) {
    queue.setMaxActive(slots);
    return queue.maxActive();
  } else {
    return 1;
  }
}

struct Service {
  std::string http;  // "http://127.0.0.1:port"
  std::string ftp;   // "127.0.0.1:port"
};

struct Bench {
  std::string dir;
  std::string data;  // the service's data folder
  std::string cookies;
  std::string userId;
  int count = 100;
  std::size_t bytes = 100 * 1024;

  // count files of random content under dir/folder, seeded by seed.
  std::vector<std::string> makeFiles(const std::string& folder, unsigned seed) const {
    fs::create_directories(dir + "/" + folder);
    std::mt19937 rng(seed);
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
      std::string content(bytes, '\0');
      for (char& c : content) c = static_cast<char>(rng());
      paths.push_back(dir + "/" + folder + "/small-" + std::to_string(i) + ".bin");
      std::ofstream(paths.back(), std::ios::binary) << content;
    }
    return paths;
  }

  // curl's upload: md5sum, the instant checks, -T of every file, the
  // registrations, each in parallel. Seconds; registered: the files the
  // service took under prefix.
  double curlUp(const Service& s, const std::string& prefix, unsigned seed, std::size_t& registered) const {
    const std::vector<std::string> files = makeFiles(prefix, seed);
    const transfer::UploadTarget target{s.http, "demo", 0};
    const auto post = [&](const transfer::UploadRequest& r) {
      return "url = \"" + r.url + "\"\ndata = \"" + r.body + "\"\ncookie = \"" + cookies + "\"\noutput = /dev/null\n";
    };
    std::string md5 = "md5sum", ftp, instant, registration;
    for (const std::string& path : files) {
      const std::string name = prefix + "-" + fs::path(path).filename().string();
      md5 += " " + path;
      ftp += "upload-file = \"" + path + "\"\nurl = \"ftp://" + s.ftp + "/" + name + transfer::kUploadSuffix + "\"\n";
      if (!instant.empty()) instant += "next\n", registration += "next\n";
      instant += post(transfer::instantUploadRequest(target, transfer::md5OfFile(path), name));
      registration += post(transfer::registerUploadRequest(target, name));
    }
    for (const auto& [file, text] :
         {std::pair{"/ftp.cfg", &ftp}, {"/instant.cfg", &instant}, {"/register.cfg", &registration}})
      std::ofstream(dir + "/" + prefix + file) << *text;
    const std::string curl = " && curl -s --no-progress-meter -Z --parallel-max " + std::to_string(kUploadSlots) +
                             " -K " + dir + "/" + prefix;
    const double took =
        runShell(md5 + " >/dev/null" + curl + "/instant.cfg" + curl + "/ftp.cfg" + curl + "/register.cfg");
    registered = column(data + "/tarnwick.db", "SELECT id FROM files WHERE name LIKE '" + prefix + "-small-%'").size();
    return took;
  }

  // The files' storage paths, by the ids the upload queue reported.
  std::vector<std::string> storagePaths(const std::vector<std::int64_t>& ids) const {
    std::vector<std::string> out;
    for (std::int64_t id : ids)
      for (const std::string& p :
           column(data + "/tarnwick.db", "SELECT storage FROM files WHERE id=" + std::to_string(id)))
        out.push_back(p);
    return out;
  }

  // curl sending the download queue's requests (the address page over
  // HTTP/1.0, then the file with "Connection: close"), in parallel.
  double curlDownSame(const Service& s, const std::vector<std::int64_t>& ids, const std::string& name) const {
    const std::vector<std::string> paths = storagePaths(ids);
    std::string config;
    for (std::size_t i = 0; i < paths.size(); ++i)
      config += std::string(config.empty() ? "" : "next\n") + "url = \"" +
                transfer::addressPageUrl(s.http, std::to_string(ids[i]), "") +
                "\"\nhttp1.0\noutput = /dev/null\nnext\nurl = \"" + s.http + "/up/" + paths[i] +
                "\"\nheader = \"Connection: close\"\noutput = /dev/null\n";
    std::ofstream(dir + "/" + name) << config;
    return bestOfThree("curl -s --no-progress-meter -Z --parallel-max " + std::to_string(kDownloadSlots) + " -K " +
                       dir + "/" + name);
  }

  // curl fetching every file one after another over one kept-alive connection.
  double curlDownKeptAlive(const Service& s, const std::vector<std::int64_t>& ids) const {
    std::string urls;
    for (const std::string& p : storagePaths(ids)) urls += " -o /dev/null " + s.http + "/up/" + p;
    return bestOfThree("curl -s" + urls);
  }
};

struct Round {
  double oursUp = 0, curlUp = 0, oursDown = 0, curlDown = 0, keptAlive = 0;
  std::size_t sent = 0, got = 0, curlRegistered = 0;
  int upSlots = 1, downSlots = 1;
  std::uint64_t upConnections = 0, curlUpConnections = 0, downConnections = 0;  // opened through the link
};

Round runRound(const Bench& b, const bench::LinkRelay& relay, const Service& link, int rttMs) {
  Round r;
  const std::string tag = "r" + std::to_string(rttMs);
  const std::vector<std::string> files = b.makeFiles(tag + "-up", 1000 + static_cast<unsigned>(rttMs));

  transfer::UploadQueue up;
  transfer::UploadContext uc;
  uc.mainHost = link.http;
  uc.ftpHost = link.ftp;
  uc.account = "demo";
  uc.userId = b.userId;
  uc.currentFolder = [] { return 0; };
  up.setContext(uc);
  r.upSlots = useSlots(up, kUploadSlots);
  for (const std::string& f : files) up.add(f);
  std::uint64_t opened = relay.accepted();
  auto began = std::chrono::steady_clock::now();
  up.start();
  up.waitIdle(600000);
  r.oursUp = seconds(began);
  r.upConnections = relay.accepted() - opened;
  std::vector<std::int64_t> ids;
  for (const transfer::QueueRow& row : up.finished()) ids.push_back(row.remoteId);
  r.sent = ids.size();
  opened = relay.accepted();
  r.curlUp = b.curlUp(link, "curl-" + tag, 2000 + static_cast<unsigned>(rttMs), r.curlRegistered);
  r.curlUpConnections = relay.accepted() - opened;

  transfer::DownloadQueue down;
  transfer::DownloadContext dc;
  dc.mainHost = link.http;
  dc.storageHost = link.http;
  dc.saveFolder = b.dir + "/" + tag + "-down";
  down.setContext(dc);
  r.downSlots = useSlots(down, kDownloadSlots);
  for (const transfer::QueueRow& row : up.finished()) down.add(std::to_string(row.remoteId), row.name, "");
  opened = relay.accepted();
  began = std::chrono::steady_clock::now();
  down.start();
  down.waitIdle(600000);
  r.oursDown = seconds(began);
  r.downConnections = relay.accepted() - opened;
  r.got = down.finished().size();
  r.curlDown = b.curlDownSame(link, ids, tag + "-down.cfg");
  r.keptAlive = b.curlDownKeptAlive(link, ids);
  return r;
}

void printRound(const Round& r, int rttMs, int count) {
  std::printf("link small files down: ours %.2f s, curl %.2f s, ratio %.2f (%d ms, %d slot%s, %zu of %zu arrived)\n",
              r.oursDown, r.curlDown, r.oursDown / r.curlDown, rttMs, r.downSlots, r.downSlots == 1 ? "" : "s", r.got,
              r.sent);
  std::printf(
      "link small files up: ours %.2f s, curl %.2f s, ratio %.2f (%d ms, %d slot%s, %zu of %d sent, curl "
      "registered %zu)\n",
      r.oursUp, r.curlUp, r.oursUp / r.curlUp, rttMs, r.upSlots, r.upSlots == 1 ? "" : "s", r.sent, count,
      r.curlRegistered);
  std::printf(
      "  reference at %d ms: curl one after another over one kept-alive connection %.2f s; connections "
      "opened: ours down %llu, ours up %llu, curl up %llu\n",
      rttMs, r.keptAlive, static_cast<unsigned long long>(r.downConnections),
      static_cast<unsigned long long>(r.upConnections), static_cast<unsigned long long>(r.curlUpConnections));
}

}  // namespace

int main(int argc, char** argv) {
  const int rttMs = argc > 1 ? std::max(0, std::atoi(argv[1])) : 40;
  Bench b;
  b.count = argc > 2 ? std::max(1, std::atoi(argv[2])) : 100;
  b.bytes = argc > 3 ? static_cast<std::size_t>(std::atol(argv[3])) : 100 * 1024;
  const char* rate = std::getenv("LINK_BENCH_RATE");
  const std::int64_t bytesPerSecond = rate ? std::atoll(rate) : 0;
  b.dir = (fs::temp_directory_path() / ("link-bench-" + std::to_string(::getpid()))).string();
  fs::create_directories(b.dir);
  const std::string serviceDir = b.dir + "/service";
  if (std::system((TARNWICK_SOURCE_DIR "/tests/fixtures/service_up.sh " + serviceDir + " >/dev/null").c_str()) != 0)
    return 1;
  const std::string env = serviceDir + "/service.env";
  const Service direct{envValue(env, "TARNWICK_MAIN_HOST"), envValue(env, "TARNWICK_FTP_HOST")};
  b.data = envValue(env, "TARNWICK_SERVICE_DATA");

  bench::LinkRelay relay;
  const int httpPort = relay.add(direct.http.substr(direct.http.find("//") + 2));
  const int ftpPort = relay.add(direct.ftp, true);
  const Service link{"http://127.0.0.1:" + std::to_string(httpPort), "127.0.0.1:" + std::to_string(ftpPort)};
  int rc = 1;
  do {
    if (httpPort == 0 || ftpPort == 0 || !relay.start()) {
      std::fprintf(stderr, "the relay did not start\n");
      break;
    }
    const account::Request login = account::loginRequest(link.http, "demo", "demo123");
    auto reply = account::judgeLoginReply(net::httpRequestText(login.url, "POST", "", "", login.body));
    if (!reply) {
      std::fprintf(stderr, "login failed\n");
      break;
    }
    b.userId = reply->userId;
    for (const net::Cookie& c : net::allCookies()) b.cookies += c.name + "=" + c.value + ";";

    // The relay alone: curl's figures at 0 ms straight to the service and
    // through the relay.
    const Round zero = runRound(b, relay, link, 0);
    std::vector<std::int64_t> ids;
    for (const std::string& id :
         column(b.data + "/tarnwick.db", "SELECT id FROM files WHERE name LIKE 'curl-r0-small-%'"))
      ids.push_back(std::atoll(id.c_str()));
    std::size_t directRegistered = 0;
    const double directUp = b.curlUp(direct, "curl-direct", 3000, directRegistered);
    const double directDown = b.curlDownSame(direct, ids, "direct-down.cfg");
    const double relayDown = b.curlDownSame(link, ids, "relay-down.cfg");
    const double directKeptAlive = b.curlDownKeptAlive(direct, ids);
    const double relayKeptAlive = b.curlDownKeptAlive(link, ids);
    std::printf(
        "relay at 0 ms, curl direct / through the relay: down -Z %d %.2f / %.2f s, down one connection "
        "%.2f / %.2f s, up -Z %d %.2f / %.2f s (%zu registered direct)\n",
        kDownloadSlots, directDown, relayDown, directKeptAlive, relayKeptAlive, kUploadSlots, directUp, zero.curlUp,
        directRegistered);
    printRound(zero, 0, b.count);

    relay.setShape({std::chrono::milliseconds(rttMs), bytesPerSecond});
    const Round far = runRound(b, relay, link, rttMs);
    printRound(far, rttMs, b.count);
    const bool complete = zero.sent == static_cast<std::size_t>(b.count) && zero.got == zero.sent &&
                          far.sent == static_cast<std::size_t>(b.count) && far.got == far.sent;
    rc = complete && far.oursDown <= 1.5 * far.curlDown && far.oursUp <= 1.5 * far.curlUp ? 0 : 2;
  } while (false);
  relay.stop();
  std::system((TARNWICK_SOURCE_DIR "/tests/fixtures/service_down.sh " + serviceDir).c_str());
  fs::remove_all(b.dir);
  return rc;
}
