// Folders moved whole, through the queues and through curl:
//   up:   a local tree (folders × files each, 10 KB files by default) through
//         the upload queue at its default two slots, against a script that
//         drives curl through the same requests: create each folder and read
//         its id, the instant checks, the files by FTP, the registrations
//         (each step one curl invocation per folder over one kept-alive
//         connection or FTP session: curl 7.88's -Z waits up to a second
//         between batches, which would measure curl's wait, not the link;
//         its FTP step runs in active mode, -P: in passive mode curl 7.88
//         sometimes sleeps out its one-second poll after the 229 reply
//         before it connects the data stream, which again is curl's wait);
//   down: the same cloud tree through the download queue at its default
//         three slots (the walk: the folder page and every listing page, then
//         the address page and the file of each file), against curl sending
//         the same requests with -Z --parallel-max 3;
//   queuing: a tree of 10,000 files in 100 folders queued each way with a
//         store, timed to the first byte that moves, with the memory it took.
// trees_bench [folders [files per folder [bytes]]]: 50 × 20 × 10 KB by default.
// TREES_STEPS=1 times curl's three steps of each folder on their own instead.
// Starts a service instance of its own. Exit 0 when both ratios are at most
// 1.5, the queuing took at most 2 s each way and the trees arrived whole.
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "../plain_support.h"
#include "account/login.h"
#include "browser/folder_tree.h"
#include "browser/operations.h"
#include "browser/scrape_patterns.h"
#include "net/cookies.h"
#include "net/http.h"
#include "transfer/download_plan.h"
#include "transfer/download_queue.h"
#include "transfer/md5.h"
#include "transfer/queue_store.h"
#include "transfer/upload_queue.h"
#include "transfer/upload_requests.h"

using namespace tarnwick;
namespace fs = std::filesystem;

namespace {

using tarnwick::bench::column;
using tarnwick::bench::envValue;
using tarnwick::bench::filesUnder;
using tarnwick::bench::runShell;
using tarnwick::bench::seconds;
using tarnwick::bench::statusKiB;

std::string capture(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

bool exec(const std::string& db, const std::string& sql) {
  sqlite3* h = nullptr;
  bool ok = sqlite3_open(db.c_str(), &h) == SQLITE_OK &&
            sqlite3_exec(h, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  if (!ok) std::fprintf(stderr, "sql failed: %s\n", h ? sqlite3_errmsg(h) : "open");
  sqlite3_close(h);
  return ok;
}


struct FirstByte {
  std::atomic<bool> seen{false};
  std::chrono::steady_clock::time_point at;
};

}  // namespace

int main(int argc, char** argv) {
  const int folders = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  const int perFolder = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
  const std::size_t bytes = argc > 3 ? static_cast<std::size_t>(std::atol(argv[3])) : 10 * 1024;
  const std::string dir = (fs::temp_directory_path() / ("trees-bench-" + std::to_string(::getpid()))).string();
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string service = dir + "/service";
  if (std::system((TARNWICK_SOURCE_DIR "/tests/fixtures/service_up.sh " + service + " >/dev/null").c_str()) != 0)
    return 1;
  const std::string main = envValue(service + "/service.env", "TARNWICK_MAIN_HOST");
  const std::string ftp = envValue(service + "/service.env", "TARNWICK_FTP_HOST");
  const std::string data = envValue(service + "/service.env", "TARNWICK_SERVICE_DATA");
  const std::string db = data + "/tarnwick.db";
  int rc = 2;
  do {
    const account::Request login = account::loginRequest(main, "demo", "demo123");
    auto reply = account::judgeLoginReply(net::httpRequestText(login.url, "POST", "", "", login.body));
    if (!reply) {
      std::fprintf(stderr, "login failed\n");
      break;
    }
    std::string cookies;  // the session of the login above: the service registers for it only
    for (const net::Cookie& c : net::allCookies()) cookies += c.name + "=" + c.value + ";";

    // The same tree, of new bytes each time (or an instant upload would take
    // the file): ours goes as "ours", curl's runs as "curl", "curl2"…. Every
    // file name is distinct: two files of one name cannot be in the shared
    // FTP area at once, which the queue keeps to and curl's lanes would not.
    std::mt19937 rng(11);
    for (const char* top : {"ours", "curl", "curl2", "curl3", "curl4"})
      for (int f = 0; f < folders; ++f)
        for (int i = 0; i < perFolder; ++i) {
          std::string content(bytes, '\0');
          for (char& c : content) c = static_cast<char>(rng());
          const fs::path path = fs::path(dir) / "up" / top / ("d" + std::to_string(f)) / ("f" + std::to_string(f) + "-" + std::to_string(i) + ".bin");
          fs::create_directories(path.parent_path());
          std::ofstream(path, std::ios::binary) << content;
        }
    const int files = folders * perFolder;

    // Up through the queue.
    transfer::UploadQueue up;
    transfer::UploadContext uc;
    uc.mainHost = main;
    uc.ftpHost = ftp;
    uc.account = "demo";
    uc.userId = reply->userId;
    uc.listingRowPattern = browser::patterns::fileRow();
    up.setContext(uc);
    up.setMaxActive(2);
    auto began = std::chrono::steady_clock::now();
    up.addTree(up.planTree(dir + "/up/ours", 0));
    up.start();
    up.waitIdle(900000);
    const double oursUp = seconds(began);
    const std::size_t sentUp = column(db, "SELECT id FROM files WHERE name LIKE 'f%.bin'").size();

    // Up through curl: create each folder and read its id (one at a time,
    // as the ids are needed), then per folder the instant checks, the files
    // and the registrations. Two shapes, the faster one counts:
    //  - one folder at a time, FTP in active mode (-P). In passive mode
    //    curl 7.88 now and then sleeps out a one-second poll after the 229
    //    reply before it connects the data stream: curl's wait, not the link.
    //  - two folders at once, as the queue's two slots, in passive mode
    //    (the local FTP server stalls two active sessions at once), best of
    //    three runs for the luck of that race.
    const auto create = [&](const std::string& name, std::int32_t parent) {
      const browser::Request r = browser::createFolderRequest(main, "demo", name, parent);
      const std::string out = capture("curl -s -b '" + cookies + "' --data-binary '" + r.body + "' '" + r.url + "'");
      return browser::newFolderId(out).value_or(-1);
    };
    const auto curlTree = [&](const std::string& topName, int laneCount, bool active) {
      const auto began = std::chrono::steady_clock::now();
      const std::int32_t top = create(topName, 0);
      std::vector<std::string> lanes(laneCount);
      for (int f = 0; f < folders && top > 0; ++f) {
        const std::string name = "d" + std::to_string(f);
        const std::int32_t id = create(name, top);
        const transfer::UploadTarget target{main, "demo", id};
        std::string instant, ftpCfg, reg, md5s = "md5sum";
        for (int i = 0; i < perFolder; ++i) {
          const std::string file = "f" + std::to_string(f) + "-" + std::to_string(i) + ".bin";
          const std::string path = dir + "/up/" + topName + "/" + name + "/" + file;
          md5s += " " + path;
          const auto post = [&](const transfer::UploadRequest& r) {
            return "url = \"" + r.url + "\"\ndata = \"" + r.body + "\"\ncookie = \"" + cookies +
                   "\"\noutput = /dev/null\n";
          };
          instant += (i ? "next\n" : "") + post(transfer::instantUploadRequest(target, transfer::md5OfFile(path), file));
          ftpCfg += "upload-file = \"" + path + "\"\nurl = \"ftp://" + ftp + "/" + file + transfer::kUploadSuffix + "\"\n";
          reg += (i ? "next\n" : "") + post(transfer::registerUploadRequest(target, file));
        }
        const std::string cfg = dir + "/" + topName + "-" + name;
        std::ofstream(cfg + "-instant.cfg") << instant;
        std::ofstream(cfg + "-ftp.cfg") << ftpCfg;
        std::ofstream(cfg + "-register.cfg") << reg;
        const std::string instantStep = "curl -s -K " + cfg + "-instant.cfg";
        const std::string ftpStep = std::string("curl -s ") + (active ? "-P 127.0.0.1 " : "") + "-K " + cfg + "-ftp.cfg";
        const std::string registerStep = "curl -s -K " + cfg + "-register.cfg";
        if (std::getenv("TREES_STEPS")) {
          std::fprintf(stderr, "%s %s: instant %.3f ", topName.c_str(), name.c_str(), runShell(instantStep));
          std::fprintf(stderr, "ftp %.3f ", runShell(ftpStep));
          std::fprintf(stderr, "register %.3f\n", runShell(registerStep));
          continue;
        }
        lanes[f % laneCount] += md5s + " >/dev/null && " + instantStep + " && " + ftpStep + " && " + registerStep + "; ";
      }
      std::string all;
      for (const std::string& lane : lanes) all += "(" + lane + ") & ";
      if (!std::getenv("TREES_STEPS")) runShell(all + "wait");
      const std::size_t sent = column(db, "SELECT id FROM files WHERE folder IN (SELECT id FROM folders WHERE parent=" +
                                              std::to_string(top) + ")").size();
      return std::pair{seconds(began), sent};
    };
    const auto [curlOneLane, curlOneSent] = curlTree("curl", 1, true);
    double curlTwoLanes = 1e9;
    bool curlAllSent = curlOneSent == static_cast<std::size_t>(files);
    if (!curlAllSent) std::fprintf(stderr, "curl: %zu sent\n", curlOneSent);
    for (int run = 2; run <= 4; ++run) {
      const auto [took, sent] = curlTree("curl" + std::to_string(run), 2, false);
      curlTwoLanes = std::min(curlTwoLanes, took);
      curlAllSent = curlAllSent && sent == static_cast<std::size_t>(files);
      if (sent != static_cast<std::size_t>(files)) std::fprintf(stderr, "curl%d: %zu sent\n", run, sent);
    }
    const double curlUp = std::min(curlOneLane, curlTwoLanes);

    // Down through the queue: the cloud folder "ours" whole.
    const auto oursId = column(db, "SELECT id FROM folders WHERE name='ours' AND parent=0");
    transfer::DownloadQueue down;
    transfer::DownloadContext dc;
    dc.mainHost = main;
    dc.storageHost = main;
    dc.saveFolder = dir + "/down/";
    dc.account = "demo";
    dc.userId = reply->userId;
    down.setContext(dc);
    down.setMaxActive(3);
    fs::create_directories(dir + "/down");
    began = std::chrono::steady_clock::now();
    if (!oursId.empty()) down.addFolder(std::stoi(oursId[0]), "ours");
    down.start();
    down.waitIdle(900000);
    const double oursDown = seconds(began);
    const bool equal = filesUnder(dir + "/down/ours") == filesUnder(dir + "/up/ours");

    // Down through curl: the folder page, each folder's listing pages, then
    // the address page and the file of each.
    std::string cfg = "url = \"" + browser::folderListUrl(main, "demo", true) + "\"\noutput = /dev/null\n";
    for (const std::string& id : column(db, "SELECT id FROM folders WHERE name LIKE 'd%' AND parent IN "
                                            "(SELECT id FROM folders WHERE name='ours')"))
      cfg += "next\nurl = \"" + browser::listingUrl(main, reply->userId, std::stoi(id)) + "\"\noutput = /dev/null\n";
    for (const std::string& row : column(db, "SELECT id || ' ' || storage FROM files WHERE name LIKE 'f%.bin' AND "
                                             "folder IN (SELECT id FROM folders WHERE parent IN "
                                             "(SELECT id FROM folders WHERE name='ours'))")) {
      const std::string id = row.substr(0, row.find(' ')), storage = row.substr(row.find(' ') + 1);
      cfg += "next\nurl = \"" + transfer::addressPageUrl(main, id, "") + "\"\nhttp1.0\noutput = /dev/null\n";
      cfg += "next\nurl = \"" + main + "/up/" + storage + "\"\nheader = \"Connection: close\"\noutput = /dev/null\n";
    }
    std::ofstream(dir + "/down.cfg") << cfg;
    const double curlDown =
        tarnwick::bench::bestOfThree("curl -s -Z --parallel-max 3 -K " + dir + "/down.cfg 2>/dev/null");

    std::printf("trees up (%d files in %d folders): ours %.2f s, curl %.2f s (one folder at a time %.2f s, two %.2f s), "
                "ratio %.2f (%zu of %d sent; curl's %s)\n",
                files, folders + 1, oursUp, curlUp, curlOneLane, curlTwoLanes, oursUp / curlUp, sentUp, files,
                curlAllSent ? "all sent" : "NOT ALL SENT");
    std::printf("trees down: ours %.2f s, curl %.2f s, ratio %.2f (%s)\n", oursDown, curlDown, oursDown / curlDown,
                equal ? "the tree arrived equal" : "THE TREE DIFFERS");

    // Queuing 10,000 files in 100 folders each way, with a store, to the first byte.
    const int bigFolders = 100, bigPer = 100;
    for (int f = 0; f < bigFolders; ++f) {
      const fs::path folder = fs::path(dir) / "big" / "many" / ("m" + std::to_string(f));
      fs::create_directories(folder);
      for (int i = 0; i < bigPer; ++i) std::ofstream(folder / ("g" + std::to_string(i))) << "x";
    }
    auto store = transfer::QueueStore::open(dir + "/queues.db");
    FirstByte upFirst, downFirst;
    const long idleUp = statusKiB("VmRSS:");
    transfer::UploadQueue bigUp;
    bigUp.setContext(uc);
    bigUp.setMaxActive(2);
    bigUp.switchAccount("demo", store, "upload");
    bigUp.setListener([&](const transfer::QueueEvent& e) {
      if (e.kind == transfer::QueueEventKind::Sending && !upFirst.seen.exchange(true))
        upFirst.at = std::chrono::steady_clock::now();
    });
    began = std::chrono::steady_clock::now();
    transfer::UploadTreePlan plan = bigUp.planTree(dir + "/big/many", 0);
    const std::size_t planned = plan.rows.size();
    bigUp.addTree(std::move(plan));
    const double queuedUp = seconds(began);
    bigUp.start();
    for (int i = 0; i < 600 && !upFirst.seen; ++i) usleep(10000);
    const double firstUp = upFirst.seen ? std::chrono::duration<double>(upFirst.at - began).count() : -1;
    const long usedUp = statusKiB("VmRSS:") - idleUp;
    bigUp.stop();

    // The same tree on the service (by hand), then walked down.
    std::string sql = "BEGIN;INSERT INTO folders(owner, name, parent) VALUES (" + reply->userId + ", 'bigdown', 0);";
    for (int f = 0; f < bigFolders; ++f) {
      sql += "INSERT INTO folders(owner, name, parent) SELECT " + reply->userId + ", 'b" + std::to_string(f) +
             "', id FROM folders WHERE name='bigdown';";
      for (int i = 0; i < bigPer; ++i)
        sql += "INSERT INTO files(owner, folder, name, size, md5, date, storage) SELECT " + reply->userId +
               ", id, 'h" + std::to_string(i) + "', 1, '', '2026-01-01 10:00:00', 'none' FROM folders WHERE name='b" +
               std::to_string(f) + "';";
    }
    exec(db, sql + "COMMIT;");
    const auto bigDownId = column(db, "SELECT id FROM folders WHERE name='bigdown'");
    const long idleDown = statusKiB("VmRSS:");
    transfer::DownloadQueue bigDown;
    dc.saveFolder = dir + "/bigdown/";
    bigDown.setContext(dc);
    bigDown.setMaxActive(3);
    bigDown.switchAccount("demo", store, "download");
    bigDown.setListener([&](const transfer::QueueEvent& e) {
      if (e.kind == transfer::QueueEventKind::RowStarted && !downFirst.seen) {
        const auto row = bigDown.row(e.rowId);
        if (row && row->kind == transfer::RowKind::File && !downFirst.seen.exchange(true))
          downFirst.at = std::chrono::steady_clock::now();
      }
    });
    began = std::chrono::steady_clock::now();
    if (!bigDownId.empty()) bigDown.addFolder(std::stoi(bigDownId[0]), "bigdown");
    bigDown.start();
    for (int i = 0; i < 3000 && !downFirst.seen; ++i) usleep(10000);
    const double firstDown = downFirst.seen ? std::chrono::duration<double>(downFirst.at - began).count() : -1;
    const std::size_t walked = bigDown.rows().size();
    const long usedDown = statusKiB("VmRSS:") - idleDown;
    bigDown.stop();

    std::printf("queuing 10,000 files up: %zu rows planned and queued in %.2f s, first byte after %.2f s, "
                "%.1f MiB more memory\n",
                planned, queuedUp, firstUp, usedUp / 1024.0);
    std::printf("queuing 10,000 files down: %zu rows walked, the first file started after %.2f s, "
                "%.1f MiB more memory\n",
                walked, firstDown, usedDown / 1024.0);
    const bool fast = firstUp >= 0 && firstUp <= 2 && firstDown >= 0 && firstDown <= 2;
    rc = sentUp == static_cast<std::size_t>(files) && curlAllSent && oursUp <= 1.5 * curlUp && oursDown <= 1.5 * curlDown && equal && fast ? 0 : 2;
  } while (false);
  std::system((TARNWICK_SOURCE_DIR "/tests/fixtures/service_down.sh " + service).c_str());
  fs::remove_all(dir);
  return rc;
}
