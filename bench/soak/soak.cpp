// Soak run of the transfer queues against the local service: 100 files
// (0 bytes to 20 MiB; names with blanks and CJK characters; the same name in
// two folders) go up through the upload queue and come back through the
// download queue while the service is killed (SIGKILL) and started again at
// random moments, and the client is quit and started again once in each
// direction (its queues saved and loaded as at a real restart). Two upload
// and three download slots run at once, and rows are held, resumed and
// moved at random meanwhile. At the end
// every file on the service and every downloaded file is compared by MD5, no
// row may be finished that is not, no partial or temporary file may be left
// and nothing may have been uploaded twice. Prints one line
//   soak: N/N up byte-exact, N/N down byte-exact, L lost, M mixed, R restarts
// and exits 0 only when all of it holds.
//
// Usage: soak [files] [seed]   (defaults 100 and the time)
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "../../tests/fixtures/service_db.h"
#include "soak_service.h"
#include "account/login.h"
#include "browser/scrape_patterns.h"
#include "net/hosts.h"
#include "net/http.h"
#include "net/text.h"
#include "transfer/download_queue.h"
#include "transfer/md5.h"
#include "transfer/upload_queue.h"

extern char** environ;

using namespace tarnwick;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

using soak::Service;
using soak::freePort;
using soak::writeRandom;

using tarnwick::test::queryDb;

struct Source {
  std::string path;    // local, native
  std::string name;    // UTF-8
  std::int32_t folder = 0;
  std::string md5;
  std::int64_t size = 0;
};

bool login(const std::string& mainHost, std::string& userId) {
  const account::Request r = account::loginRequest(mainHost, "demo", "demo123");
  auto reply = account::judgeLoginReply(net::httpRequestText(r.url, "POST", "", "", r.body));
  if (!reply) return false;
  userId = reply->userId;
  return true;
}

// Kills the service at random moments and starts it again after a pause,
// while `on` is set.
class Chaos {
 public:
  Chaos(Service& s, std::mt19937_64& rng) : m_service(s), m_rng(rng()) {}
  ~Chaos() { pause(); }
  void run(int minGapMs, int maxGapMs) {
    pause();
    m_on = true;
    m_thread = std::thread([this, minGapMs, maxGapMs] {
      while (m_on) {
        if (!sleepFor(std::uniform_int_distribution<int>(minGapMs, maxGapMs)(m_rng))) break;
        if (m_kick.exchange(false)) std::this_thread::sleep_for(std::chrono::milliseconds(m_rng() % 50));
        m_service.kill();
        ++m_restarts;
        sleepFor(std::uniform_int_distribution<int>(300, 2000)(m_rng), true);
        if (!m_service.start()) std::fprintf(stderr, "soak: the service did not start again\n");
      }
    });
  }
  void pause() {
    m_on = false;
    if (m_thread.joinable()) m_thread.join();
  }
  // Besides the random moments: a kill when the finished rows of a run pass
  // one of these counts, a few milliseconds into the next file.
  void killAt(std::vector<std::size_t> counts) {
    std::lock_guard lock(m_mutex);
    m_counts = std::move(counts);
  }
  void progress(std::size_t finished) {
    {
      std::lock_guard lock(m_mutex);
      if (m_counts.empty() || finished < m_counts.front()) return;
      m_counts.erase(m_counts.begin());
    }
    m_kick = true;
  }
  int restarts() const { return m_restarts; }

 private:
  bool sleepFor(int ms, bool always = false) {
    for (int i = 0; i < ms / 10; ++i) {
      if (!m_on && !always) return false;
      if (!always && m_kick) return true;
      std::this_thread::sleep_for(10ms);
    }
    return m_on || always;
  }
  Service& m_service;
  std::mt19937_64 m_rng;
  std::atomic<bool> m_on{false};
  std::atomic<int> m_restarts{0};
  std::atomic<bool> m_kick{false};
  std::mutex m_mutex;
  std::vector<std::size_t> m_counts;
  std::thread m_thread;
};

transfer::QueueOptions soakOptions() {
  transfer::QueueOptions o;
  o.reconnectDelaysMs = {300, 600, 1000, 2000};
  o.repeatLast = true;
  o.finishedLimit = 100000;
  return o;
}

// A user at the queue meanwhile: now and then a row is held (a running one
// too), a held row resumed, a row moved to another place.
void stir(transfer::TransferQueue& q, std::mt19937_64& rng) {
  if (std::uniform_int_distribution<int>(0, 24)(rng) != 0) return;  // about every half second
  const auto rows = q.rows();
  if (rows.empty()) return;
  const auto pick = [&] { return rows[std::uniform_int_distribution<std::size_t>(0, rows.size() - 1)(rng)]; };
  std::size_t held = 0;
  for (const auto& r : rows) held += r.state == transfer::RowState::Held;
  const transfer::QueueRow r = pick();
  if (r.state == transfer::RowState::Held)
    q.resume({r.id});
  else if (held < 3)
    q.hold({r.id});
  q.move(pick().id, std::uniform_int_distribution<std::size_t>(0, rows.size())(rng));
}

void resumeAll(transfer::TransferQueue& q) {
  std::vector<std::uint64_t> ids;
  for (const auto& r : q.rows())
    if (r.state == transfer::RowState::Held) ids.push_back(r.id);
  q.resume(ids);
}

// Works a queue off: start, and start again while rows are left (a user
// pressing the button once more, the held rows resumed first); the client
// quits and starts again once, when quitAfter rows are finished. At most
// `rounds` starts.
template <class Queue, class Setup>
std::vector<transfer::QueueRow> drive(std::unique_ptr<Queue>& q, Setup setup, std::size_t quitAfter, bool& quitDone,
                                      int rounds, Chaos& chaos, std::mt19937_64& rng) {
  std::vector<transfer::QueueRow> finished;
  for (int round = 0; round < rounds && !q->rows().empty(); ++round) {
    resumeAll(*q);
    q->start();
    while (!q->waitIdle(20)) {
      if (round < rounds - 2) stir(*q, rng);  // the last rounds finish what is left
      chaos.progress(finished.size() + q->finished().size());
      if (!quitDone && q->finished().size() >= quitAfter) {
        quitDone = true;
        q->stop();  // quit: stopped and put away; what finished until then is kept
        const auto done = q->finished();
        finished.insert(finished.end(), done.begin(), done.end());
        q.reset();
        q = std::make_unique<Queue>();
        setup(*q);  // started again: the saved rows come back as they were saved
        q->start();
      }
    }
  }
  const auto done = q->finished();
  finished.insert(finished.end(), done.begin(), done.end());
  for (const auto& r : q->rows())
    std::fprintf(stderr, "soak: left in the queue: %s (%s)\n", net::toUtf8(r.name).c_str(), net::toUtf8(r.reason).c_str());
  return finished;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::max(4, std::atoi(argv[1])) : 100;
  const unsigned long seed = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : static_cast<unsigned long>(::time(nullptr));
  std::mt19937_64 rng(seed);
  const std::string root = fs::temp_directory_path() / ("tarnwick-soak-" + std::to_string(::getpid()));
  fs::create_directories(root + "/data");
  fs::create_directories(root + "/files");
  fs::create_directories(root + "/down");
  Service service(root + "/data", freePort(), freePort());
  if (!service.start()) {
    std::fprintf(stderr, "soak: the service did not start\n");
    return 1;
  }
  for (const char* name : {"TARNWICK_MAIN_HOST", "TARNWICK_DIRECT_LINK_HOST", "TARNWICK_STORAGE_HOST",
                           "TARNWICK_WEB_UPLOAD_HOST"})
    ::setenv(name, service.host().c_str(), 1);
  ::setenv("TARNWICK_FTP_HOST", service.ftpHost().c_str(), 1);
  net::reloadHosts();
  std::string userId;
  if (!login(net::hosts().mainHost, userId)) {
    std::fprintf(stderr, "soak: demo did not log in\n");
    return 1;
  }
  const std::string db = root + "/data/tarnwick.db";
  const auto pictures = queryDb(db, "SELECT id FROM folders WHERE owner=1001 AND name='图片'");
  const std::int32_t second = pictures.empty() ? 0 : std::atoi(pictures[0][0].c_str());

  // The files: sizes from 0 to 20 MiB, most small; every fifth name twice.
  std::vector<Source> sources;
  const char* stems[] = {"报告 ", "photo ", "音乐文件", "a b  c", "数据-"};
  for (int i = 0; i < count; ++i) {
    Source s;
    const bool twin = i % 5 == 1 && !sources.empty();
    s.name = twin ? sources.back().name : std::string(stems[i % 5]) + std::to_string(i) + (i % 3 ? ".bin" : " 副本.dat");
    s.folder = twin ? second : 0;
    const int kind = std::uniform_int_distribution<int>(0, 9)(rng);
    s.size = i == 0 ? 0 : kind < 6 ? std::uniform_int_distribution<std::int64_t>(1, 200000)(rng)
                      : kind < 9  ? std::uniform_int_distribution<std::int64_t>(200000, 4 << 20)(rng)
                                  : std::uniform_int_distribution<std::int64_t>(4 << 20, 20 << 20)(rng);
    fs::create_directories(root + "/files/" + std::to_string(i));
    s.path = root + "/files/" + std::to_string(i) + "/" + s.name;
    if (!writeRandom(s.path, s.size, rng)) return 1;
    s.md5 = transfer::md5OfFile(s.path);
    sources.push_back(s);
  }

  Chaos chaos(service, rng);
  std::atomic<int> interrupted{0};  // rows that waited for the service and were taken up again
  auto countWaits = [&](const transfer::QueueEvent& e) {
    if (e.kind == transfer::QueueEventKind::Unreachable) ++interrupted;
  };
  // Up.
  const std::string storePath = root + "/queues.db";  // opened afresh at each (re)start
  auto uploadSetup = [&](transfer::UploadQueue& q) {
    q.setOptions(soakOptions());
    transfer::UploadContext c;
    c.mainHost = net::hosts().mainHost;
    c.ftpHost = net::hosts().ftpHost;
    c.account = "demo";
    c.userId = userId;
    c.listingRowPattern = browser::patterns::fileRow();
    c.instant = true;
    q.setContext(c);
    q.setListener(countWaits);
    q.setMaxActive(2);
    q.switchAccount("demo", transfer::QueueStore::open(storePath), "upload");
  };
  auto up = std::make_unique<transfer::UploadQueue>();
  uploadSetup(*up);
  std::map<std::string, const Source*> byPath;
  for (const Source& s : sources) {
    up->add(s.path, s.folder);
    byPath[s.path] = &s;
  }
  // A folder whole, among the files: three levels, an empty folder, CJK
  // names; it comes back down whole into a folder of its own.
  const std::string treeName = "soak 树";
  const std::string treeTop = root + "/tree/" + treeName;
  std::map<std::string, std::string> treeFiles;  // relative path -> MD5
  for (const char* rel : {"a.bin", "一/b c.bin", "一/二/深.dat", "一/二/d.bin", "three/e.bin", "three/零.bin"}) {
    const std::string path = treeTop + "/" + rel;
    fs::create_directories(fs::path(path).parent_path());
    const std::int64_t size = std::string(rel).find("零") != std::string::npos
                                  ? 0
                                  : std::uniform_int_distribution<std::int64_t>(1, 1 << 20)(rng);
    if (!writeRandom(path, size, rng)) return 1;
    treeFiles[rel] = transfer::md5OfFile(path);
  }
  fs::create_directories(treeTop + "/空");
  up->addTree(up->planTree(treeTop, 0));
  bool quitUp = false, quitDown = false;
  chaos.killAt({sources.size() / 5, sources.size() * 3 / 4});
  chaos.run(2000, 8000);
  const auto uploaded = drive(up, uploadSetup, sources.size() / 2, quitUp, 8, chaos, rng);
  chaos.pause();

  int upExact = 0, lost = 0, mixed = 0;
  std::string problems;
  std::map<std::string, std::int64_t> ids;  // local path -> service id
  std::set<std::string> doneUp;
  for (const auto& r : uploaded) {
    if (!doneUp.insert(r.localPath).second) problems += "uploaded twice in the queue: " + r.localPath + "\n";
    ids[r.localPath] = r.remoteId;
  }
  for (const Source& s : sources) {
    const auto rows = queryDb(db, "SELECT id, md5, size FROM files WHERE owner=1001 AND folder=" +
                                    std::to_string(s.folder) + " AND name='" + s.name + "'");
    if (rows.empty() || !ids.count(s.path)) {
      ++lost;
      problems += "not uploaded: " + s.name + "\n";
      continue;
    }
    if (rows.size() > 1) problems += "on the service " + std::to_string(rows.size()) + " times: " + s.name + "\n";
    if (rows[0][1] == s.md5 && std::to_string(ids[s.path]) == rows[0][0])
      ++upExact;
    else {
      ++mixed;
      problems += "not byte-exact on the service: " + s.name + "\n";
    }
  }
  // What the client sent and never had registered; a ".claim" file is the
  // service's own, left by a kill in the middle of a registration.
  for (const auto& e : fs::directory_iterator(root + "/data/ftp"))
    if (e.path().filename().string().find(".claim") == std::string::npos)
      problems += "left on the FTP server: " + e.path().filename().string() + "\n";

  // The tree on the service: each folder once, each file once and byte-exact.
  const auto folderUnder = [&](const std::string& parent, const std::string& name) {
    const auto rows = queryDb(db, "SELECT id FROM folders WHERE owner=1001 AND parent=" + parent + " AND name='" +
                                      name + "'");
    if (rows.size() != 1) problems += "the cloud folder " + name + " is there " + std::to_string(rows.size()) + " times\n";
    return rows.empty() ? std::string("-1") : rows[0][0];
  };
  const std::string treeId = folderUnder("0", treeName);
  int treeUpExact = 0;
  for (const auto& [rel, sum] : treeFiles) {
    std::string folder = treeId, rest = rel;
    for (std::size_t slash; (slash = rest.find('/')) != std::string::npos; rest = rest.substr(slash + 1))
      folder = folderUnder(folder, rest.substr(0, slash));
    const auto rows = queryDb(db, "SELECT md5 FROM files WHERE owner=1001 AND folder=" + folder + " AND name='" +
                                      rest + "'");
    if (rows.size() == 1 && rows[0][0] == sum)
      ++treeUpExact;
    else
      problems += "tree file " + rel + ": " + std::to_string(rows.size()) + " on the service, or not byte-exact\n";
  }
  folderUnder(treeId, "空");

  // Down: every uploaded file into one folder (the twins meet there: the
  // second one gets a new name).
  auto downloadSetup = [&](transfer::DownloadQueue& q) {
    q.setOptions(soakOptions());
    transfer::DownloadContext c;
    c.mainHost = net::hosts().mainHost;
    c.storageHost = net::hosts().storageHost;
    c.saveFolder = root + "/down";
    c.rule = transfer::NameRule::Rename;
    c.account = "demo";
    c.userId = userId;
    q.setContext(c);
    q.setListener(countWaits);
    q.setMaxActive(3);
    q.switchAccount("demo", transfer::QueueStore::open(storePath), "download");
  };
  auto down = std::make_unique<transfer::DownloadQueue>();
  downloadSetup(*down);
  std::map<std::string, const Source*> byId;
  for (const Source& s : sources)
    if (ids.count(s.path)) {
      down->add(std::to_string(ids[s.path]), net::fromUtf8(s.name), "");
      byId[std::to_string(ids[s.path])] = &s;
    }
  down->addFolder(std::atoi(treeId.c_str()), net::fromUtf8(treeName), root + "/treedown");
  chaos.killAt({byId.size() / 4, byId.size() * 2 / 3});
  chaos.run(2000, 8000);
  const auto downloaded = drive(down, downloadSetup, byId.size() / 2, quitDown, 8, chaos, rng);
  chaos.pause();

  int downExact = 0;
  std::set<std::string> doneDown;
  for (const auto& r : downloaded) {
    if (r.tree) continue;  // the tree is compared whole below
    const Source* s = byId.count(r.fileId) ? byId[r.fileId] : nullptr;
    if (!s || !doneDown.insert(r.fileId).second) {
      problems += "a finished row that was not asked for: " + r.fileId + "\n";
      continue;
    }
    if (transfer::md5OfFile(r.finalPath) == s->md5)
      ++downExact;
    else {
      ++mixed;
      problems += "not byte-exact after the download: " + r.finalPath + "\n";
    }
  }
  lost += static_cast<int>(byId.size()) - static_cast<int>(doneDown.size());
  // The tree down: the same relative paths, the same bytes, the empty folder too.
  int treeDownExact = 0;
  for (const auto& [rel, sum] : treeFiles)
    if (transfer::md5OfFile(root + "/treedown/" + treeName + "/" + rel) == sum)
      ++treeDownExact;
    else
      problems += "tree file not byte-exact after the download: " + rel + "\n";
  if (!fs::is_directory(root + "/treedown/" + treeName + "/空")) problems += "the empty folder did not come down\n";
  std::size_t treeDownFiles = 0;
  std::error_code walkError;
  for (fs::recursive_directory_iterator it(root + "/treedown", walkError), end; !walkError && it != end;
       it.increment(walkError))
    if (it->is_regular_file()) ++treeDownFiles;
  if (treeDownFiles != treeFiles.size())
    problems += std::to_string(treeDownFiles) + " files in the tree that came down\n";
  lost += static_cast<int>(treeFiles.size()) - std::min(treeUpExact, treeDownExact);
  for (const auto& e : fs::directory_iterator(root + "/down"))
    if (e.path().extension() == ".tnwkpart") problems += "partial file left: " + e.path().string() + "\n";
  const auto store = transfer::QueueStore::open(storePath);
  if (!store || !store->load("upload", "demo").rows.empty() || !store->load("download", "demo").rows.empty())
    problems += "a saved queue is left with rows\n";

  std::fprintf(stderr, "%s", problems.c_str());
  std::fprintf(stderr, "soak: %d times a row waited for the service and went on\n", interrupted.load());
  std::printf("soak: %d/%d up byte-exact, %d/%zu down byte-exact, a tree of %zu files %d/%d up and down, %d lost, "
              "%d mixed, %d restarts (seed %lu)\n",
              upExact, count, downExact, byId.size(), treeFiles.size(), treeUpExact, treeDownExact, lost, mixed,
              chaos.restarts(), seed);
  service.kill();
  std::error_code ec;
  fs::remove_all(root, ec);
  const bool ok = upExact == count && downExact == count && lost == 0 && mixed == 0 && problems.empty() &&
                  chaos.restarts() >= 3 && quitUp && quitDown;
  return ok ? 0 : 1;
}
