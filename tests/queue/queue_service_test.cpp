// The upload and download queues against the local service, logged in as
// demo through the core: what arrived is read from the service's database
// and storage; downloads come from a stand-in storage server where a test
// needs to cut, refuse or change a file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "account/login.h"
#include "browser/scrape_patterns.h"
#include "../fixtures/service_db.h"
#include "../net/raw_server.h"
#include "ftp_peer.h"
#include "http_peer.h"
#include "net/http.h"
#include "net/text.h"
#include "transfer/download_queue.h"
#include "transfer/md5.h"
#include "transfer/upload_queue.h"
#include "transfer_waiter.h"

namespace tarnwick::transfer::test {
namespace {

namespace fs = std::filesystem;

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Rows of a statement on the database of the service whose data folder is `data`.
std::vector<std::vector<std::string>> queryIn(const std::string& data, const std::string& sql) {
  return tarnwick::test::queryDb(data + "/tarnwick.db", sql, false);
}

std::vector<std::vector<std::string>> query(const std::string& sql) {
  return queryIn(env("TARNWICK_SERVICE_DATA"), sql);
}

// A file of qqdemo's default folder (a member no other test lists) whose bytes
// the stand-in storage serves; its id.
std::string addServiceFile(const std::string& name, const std::string& storage) {
  query("INSERT INTO files(owner, folder, name, size, md5, date, downloads, storage) VALUES (1003, 0, '" + name +
        "', 1000, '', '2026-01-01 00:00:00', 0, '" + storage + "')");
  const auto rows = query("SELECT max(id) FROM files WHERE storage='" + storage + "'");
  return rows.empty() ? "" : rows[0][0];
}

std::string tag() { return std::to_string(::getpid()); }

class QueueService : public ::testing::Test {
 protected:
  void SetUp() override {
    m_main = env("TARNWICK_MAIN_HOST");
    m_ftp = env("TARNWICK_FTP_HOST");
    if (m_main.empty() || m_ftp.empty()) GTEST_SKIP() << "no service";
    const account::Request login = account::loginRequest(m_main, "demo", "demo123");
    auto reply = account::judgeLoginReply(net::httpRequestText(login.url, "POST", "", "", login.body));
    ASSERT_TRUE(reply) << "demo logs in";
    m_userId = reply->userId;
    m_dir = makeTempDir("queue");
  }
  void TearDown() override {
    if (!m_dir.empty()) removeTree(m_dir);
  }

  UploadContext uploadContext(bool instant) const {
    UploadContext c;
    c.mainHost = m_main;
    c.ftpHost = m_ftp;
    c.account = "demo";
    c.userId = m_userId;
    c.instant = instant;
    c.currentFolder = [] { return 0; };
    return c;
  }
  DownloadContext downloadContext(const HttpPeer& storage, NameRule rule = NameRule::Overwrite) const {
    DownloadContext c;
    c.mainHost = m_main;
    c.storageHost = storage.url("");
    c.saveFolder = m_dir + "/save";
    c.rule = rule;
    return c;
  }
  static QueueOptions quick() {
    QueueOptions o;
    o.reconnectDelaysMs = {200};
    o.brokenDelayMs = 100;
    return o;
  }
  std::vector<std::string> leftovers() const {
    std::vector<std::string> out;
    if (fs::exists(m_dir + "/save"))
      for (const auto& e : fs::directory_iterator(m_dir + "/save"))
        if (e.path().extension() == ".tnwkpart") out.push_back(e.path().filename());
    return out;
  }

  std::string m_main, m_ftp, m_userId, m_dir;
};

std::vector<std::string> storedRow(const std::string& name) {
  const auto rows = query("SELECT md5, source FROM files WHERE owner=1001 AND name='" + name + "'");
  return rows.size() == 1 ? rows[0] : std::vector<std::string>{};
}

// New content by FTP, the same content again by MD5, a file gone before its
// turn (kept, then sent once it is back), a refused registration (kept), a
// file changed while it was sent (kept, never registered).
TEST_F(QueueService, UploadRowsEndAsTheirFilesDeserve) {
  UploadQueue q;
  q.setOptions(quick());
  const std::string t = tag();
  const std::string fresh = "q-fresh-" + t + ".bin", again = "q-again-" + t + ".bin", late = "q-late-" + t + ".bin",
                    refused = "q-refused-" + t + ".bin", grows = "q-grows-" + t + ".bin";
  const std::string bytes = trickyBytes(300000, 3);
  writeFile(m_dir + "/" + fresh, bytes);
  writeFile(m_dir + "/" + again, bytes);
  writeFile(m_dir + "/" + refused, trickyBytes(1000, 4));
  writeFile(m_dir + "/" + grows, trickyBytes(200000, 5));
  const auto idFresh = q.add(m_dir + "/" + fresh);
  const auto idLate = q.add(m_dir + "/" + late);  // not there yet
  const auto idRefused = q.add(m_dir + "/" + refused, 999999);  // no such folder
  const auto idGrows = q.add(m_dir + "/" + grows);
  std::atomic<std::uint64_t> growing{idGrows};
  q.setListener([&](const QueueEvent& e) {
    // The file grows once its bytes begin to move.
    if (e.kind == QueueEventKind::Sending && e.rowId == growing)
      std::ofstream(m_dir + "/" + grows, std::ios::app) << "more bytes written meanwhile";
  });
  q.setContext(uploadContext(false));
  q.start();
  ASSERT_TRUE(q.waitIdle(60000));

  EXPECT_EQ(storedRow(fresh), (std::vector<std::string>{md5OfBytes(bytes), "client"}));
  EXPECT_TRUE(storedRow(refused).empty());
  EXPECT_TRUE(storedRow(grows).empty());
  std::map<std::uint64_t, QueueRow> left;
  for (const QueueRow& r : q.rows()) left[r.id] = r;
  ASSERT_EQ(left.size(), 3u);
  for (auto id : {idLate, idRefused, idGrows}) EXPECT_EQ(left[id].state, RowState::Failed);
  EXPECT_EQ(left[idRefused].reason, net::fromUtf8("上传失败，文件被使用中"));
  EXPECT_EQ(left[idGrows].reason, net::fromUtf8("文件在上传过程中被修改"));
  ASSERT_EQ(q.finished().size(), 1u);
  EXPECT_EQ(q.finished()[0].id, idFresh);

  // The next start tries the kept rows again: the late file is there now;
  // the same content as a file the service holds goes by MD5.
  growing = 0;
  writeFile(m_dir + "/" + late, trickyBytes(5000, 6));
  q.remove({idRefused, idGrows});
  q.add(m_dir + "/" + again);
  q.setContext(uploadContext(true));
  q.start();
  ASSERT_TRUE(q.waitIdle(60000));
  EXPECT_TRUE(q.rows().empty());
  EXPECT_EQ(storedRow(late).size(), 2u);
  EXPECT_EQ(storedRow(again), (std::vector<std::string>{md5OfBytes(bytes), "instant"}));
  EXPECT_TRUE(q.finished()[0].instant);
}

// An FTP server that cannot be reached pauses the queue: no row fails or is
// lost, and the rows go once the server is back.
TEST_F(QueueService, AnUnreachableServerPausesTheQueueInsteadOfDrainingIt) {
  UploadQueue q;
  QueueOptions o = quick();
  o.reconnectDelaysMs = {100, 100, 100};
  o.repeatLast = false;
  q.setOptions(o);
  std::vector<std::string> names;
  for (int i = 0; i < 5; ++i) {
    names.push_back("q-paused-" + tag() + "-" + std::to_string(i) + ".bin");
    writeFile(m_dir + "/" + names.back(), trickyBytes(2000 + i, 10 + i));
    q.add(m_dir + "/" + names.back());
  }
  UploadContext down = uploadContext(false);
  down.ftpHost = "127.0.0.1:1";  // nothing listens
  q.setContext(down);
  q.start();
  ASSERT_TRUE(q.waitIdle(30000));
  ASSERT_EQ(q.rows().size(), 5u);
  for (const QueueRow& r : q.rows()) EXPECT_EQ(r.state, RowState::Waiting);
  EXPECT_TRUE(q.finished().empty());

  q.setContext(uploadContext(false));  // the server is back
  q.start();
  ASSERT_TRUE(q.waitIdle(60000));
  EXPECT_TRUE(q.rows().empty());
  for (const std::string& n : names) EXPECT_EQ(storedRow(n).size(), 2u) << n;
}

// A registration that gets no reply is not taken for refused: the folder's
// listing tells whether the service has the file; until it does, the file is
// never sent a second time.
TEST_F(QueueService, ARegistrationWithoutReplyIsLookedUpInTheListing) {
  const std::string name = "q-noreply-" + tag() + ".bin";
  std::atomic<bool> listed{false};
  const auto listingRow = [&](int id) {
    return "<div style=\"display:none;\">pid：" + std::to_string(id) + "<文件名：" + name +
           "<大小：2.0KB<日期：2026-01-01<下载量：0< </div>\r\n";
  };
  // An older file of the same name and size is in the folder already: it is
  // never taken for the registration's evidence.
  tarnwick::test::RawServer main([&](const tarnwick::test::RawRequest& r, const auto& send) {
    if (r.requestLine().find("/tjwj.php") != std::string::npos) return;  // hangs up without a word
    const std::string page = "总共有1页" + net::fromUtf8((listed ? listingRow(777) : "") + listingRow(500));
    send(tarnwick::test::simpleReply(page));
  });
  writeFile(m_dir + "/" + name, trickyBytes(2048, 50));
  UploadQueue q;
  QueueOptions once = quick();
  once.repeatLast = false;  // asks once more, then the row waits for the next start
  q.setOptions(once);
  UploadContext c = uploadContext(false);
  c.mainHost = main.url("");
  c.listingRowPattern = browser::patterns::fileRow();
  q.setContext(c);
  const auto id = q.add(m_dir + "/" + name);
  q.start();
  ASSERT_TRUE(q.waitIdle(30000));
  ASSERT_EQ(q.rows().size(), 1u);
  EXPECT_NE(q.rows()[0].state, RowState::Done);
  EXPECT_EQ(q.rows()[0].pending, Pending::Registration);  // waits for the answer, never sends again
  EXPECT_EQ(q.rows()[0].newestIdBefore, 500);

  listed = true;  // the service had taken it after all
  q.start();
  ASSERT_TRUE(q.waitIdle(30000));
  EXPECT_TRUE(q.rows().empty());
  ASSERT_EQ(q.finished().size(), 1u);
  EXPECT_EQ(q.finished()[0].id, id);
  EXPECT_EQ(q.finished()[0].remoteId, 777);
  const std::string log = readFile(env("TARNWICK_SERVICE_DATA") + "/ftp.log");
  std::size_t stors = 0;
  for (std::size_t at = 0; (at = log.find("STOR " + name, at)) != std::string::npos; ++at) ++stors;
  EXPECT_EQ(stors, 1u);  // sent once
}

// Lines of the FTP log after the first `from` bytes that hold `word`.
std::size_t countInLog(const std::string& log, std::size_t from, const std::string& word) {
  std::size_t n = 0;
  for (std::size_t at = from; (at = log.find(word, at)) != std::string::npos; ++at) ++n;
  return n;
}

// An instance of the service of this test's own, started with extra settings.
struct OwnService {
  std::string dir, main, ftp, data;
  explicit OwnService(const std::string& settings) {
    dir = makeTempDir("own-service");
    const std::string up = settings + " " TARNWICK_SOURCE_DIR "/tests/fixtures/service_up.sh " + dir + "/s >/dev/null";
    if (std::system(up.c_str()) != 0) return;
    std::istringstream lines(readFile(dir + "/s/service.env"));
    for (std::string line; std::getline(lines, line);) {
      const auto eq = line.find('=');
      const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
      if (key == "TARNWICK_MAIN_HOST") main = value;
      if (key == "TARNWICK_FTP_HOST") ftp = value;
      if (key == "TARNWICK_SERVICE_DATA") data = value;
    }
  }
  ~OwnService() {
    std::system((TARNWICK_SOURCE_DIR "/tests/fixtures/service_down.sh " + dir + "/s").c_str());
    removeTree(dir);
  }
};

// Twenty small files of one run go over one FTP session and arrive whole; a
// server that closes the session after the tenth costs one more login and no
// failure.
TEST_F(QueueService, SmallFilesOfOneRunShareOneLogin) {
  OwnService closing("TARNWICK_FTP_CLOSE_AFTER=10");
  ASSERT_FALSE(closing.ftp.empty()) << "the second instance started";
  struct Case {
    std::string main, ftp, data;
    std::size_t logins;
  };
  for (const Case& c : {Case{m_main, m_ftp, env("TARNWICK_SERVICE_DATA"), 1},
                        Case{closing.main, closing.ftp, closing.data, 2}}) {
    SCOPED_TRACE(c.ftp);
    const account::Request login = account::loginRequest(c.main, "demo", "demo123");
    auto reply = account::judgeLoginReply(net::httpRequestText(login.url, "POST", "", "", login.body));
    ASSERT_TRUE(reply);
    UploadContext ctx = uploadContext(false);
    ctx.mainHost = c.main;
    ctx.ftpHost = c.ftp;
    ctx.userId = reply->userId;
    UploadQueue q;
    q.setOptions(quick());
    q.setContext(ctx);
    std::map<std::string, std::string> sent;
    for (int i = 0; i < 20; ++i) {
      const std::string name = "q-small-" + tag() + "-" + std::to_string(i) + ".bin";
      sent[name] = trickyBytes(3000 + i * 97, 100 + i);
      writeFile(m_dir + "/" + name, sent[name]);
      q.add(m_dir + "/" + name);
    }
    const std::size_t logStart = readFile(c.data + "/ftp.log").size();
    const std::size_t httpLogStart = readFile(c.data + "/http.log").size();
    std::atomic<int> failures{0};
    q.setListener([&](const QueueEvent& e) {
      if (e.kind == QueueEventKind::RowFailed || e.kind == QueueEventKind::Unreachable) ++failures;
    });
    q.start();
    ASSERT_TRUE(q.waitIdle(60000));
    EXPECT_TRUE(q.rows().empty());
    EXPECT_EQ(q.finished().size(), 20u);
    EXPECT_EQ(failures, 0);
    const std::string log = readFile(c.data + "/ftp.log");
    EXPECT_EQ(countInLog(log, logStart, " LOGIN "), c.logins) << log.substr(logStart);
    EXPECT_EQ(countInLog(log, logStart, " STOR "), 20u);
    // The twenty registrations went over one kept-alive HTTP connection.
    std::set<std::string> ports;
    std::istringstream httpLog(readFile(c.data + "/http.log").substr(httpLogStart));
    for (std::string line; std::getline(httpLog, line);)
      if (const std::size_t at = line.find(" port="); line.find("/tjwj.php") != std::string::npos && at != std::string::npos)
        ports.insert(line.substr(at, line.find(' ', at + 1) - at));
    EXPECT_EQ(ports.size(), 1u);
    for (const auto& [name, bytes] : sent) {
      const auto rows = queryIn(c.data, "SELECT md5 FROM files WHERE owner=" + reply->userId + " AND name='" + name + "'");
      EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{{md5OfBytes(bytes)}})) << name;
    }
  }
}

// Two rows of one name: the first breaks off half-way, the second arrives;
// the next start continues the first from its own partial file, and the name
// then holds exactly the first file, never a mix of both.
TEST_F(QueueService, SameNamedDownloadsNeverMix) {
  const std::string a = trickyBytes(400000, 21), b = trickyBytes(300000, 22);
  HttpPeer::Behaviour cut;
  cut.body = a;
  cut.cutAt = 200000;
  HttpPeer storage(cut);
  const std::string name = "q-same-" + tag() + ".bin";
  const std::string idA = addServiceFile(name, "1003/q-same-a-" + tag());
  const std::string idB = addServiceFile(name, "1003/q-same-b-" + tag());
  DownloadQueue q;
  q.setOptions(quick());
  q.setContext(downloadContext(storage));
  const auto rowA = q.add(idA, name, "");
  q.add(idB, name, "");
  q.setListener([&](const QueueEvent& e) {
    if (e.kind == QueueEventKind::RowFailed && e.rowId == rowA) storage.setBehaviour({b});
  });
  q.start();
  ASSERT_TRUE(q.waitIdle(60000));
  ASSERT_EQ(q.rows().size(), 1u);
  EXPECT_EQ(q.rows()[0].state, RowState::Failed);
  EXPECT_EQ(readFile(m_dir + "/save/" + name), b);
  EXPECT_EQ(q.rows()[0].partial.size, 200000);

  storage.setBehaviour({a});
  q.start();
  ASSERT_TRUE(q.waitIdle(60000));
  EXPECT_TRUE(q.rows().empty());
  EXPECT_EQ(md5OfFile(m_dir + "/save/" + name), md5OfBytes(a));
  EXPECT_NE(storage.requests().back().find("Range: bytes=200000-"), std::string::npos);
  EXPECT_TRUE(leftovers().empty());
}

// A download that fails leaves the file that was there alone, whatever the
// name rule; a partial file someone else touched is not continued.
TEST_F(QueueService, FailuresNeverTouchTheUsersFileAndForeignPartialsStartAgain) {
  HttpPeer::Behaviour missing;
  missing.forceStatus = 404;
  HttpPeer storage(missing);
  const std::string name = "q-kept-" + tag() + ".txt";
  const std::string id = addServiceFile(name, "1003/q-kept-" + tag());
  fs::create_directories(m_dir + "/save");
  writeFile(m_dir + "/save/" + name, "the user's own file");
  DownloadQueue q;
  q.setOptions(quick());
  q.setContext(downloadContext(storage));
  const auto row = q.add(id, name, "");
  q.start();
  ASSERT_TRUE(q.waitIdle(30000));
  ASSERT_EQ(q.rows().size(), 1u);
  EXPECT_EQ(q.rows()[0].state, RowState::Failed);
  EXPECT_EQ(readFile(m_dir + "/save/" + name), "the user's own file");

  // Half a file, then the partial is changed behind the row's back.
  const std::string body = trickyBytes(100000, 30);
  HttpPeer::Behaviour half;
  half.body = body;
  half.cutAt = 50000;
  storage.setBehaviour(half);
  q.start();
  ASSERT_TRUE(q.waitIdle(30000));
  const std::string partial = q.row(row)->partial.path;
  ASSERT_EQ(fs::file_size(partial), 50000u);
  std::ofstream(partial, std::ios::app) << "x";
  storage.setBehaviour({body});
  q.start();
  ASSERT_TRUE(q.waitIdle(30000));
  EXPECT_TRUE(q.rows().empty());
  EXPECT_EQ(readFile(m_dir + "/save/" + name), body);  // 同名覆盖, at the moment it was complete
  EXPECT_EQ(storage.requests().back().find("Range: bytes=50001-"), std::string::npos);
  EXPECT_TRUE(leftovers().empty());
}

// A body that is complete but could not take its name (the name is a
// folder) is only renamed at the next run, never fetched again. Two files of
// one name in one run both arrive: the second under a new name.
TEST_F(QueueService, ACompleteBodyIsRenamedAndOneRunNeverReplacesItsOwnFile) {
  const std::string body = trickyBytes(70000, 31);
  HttpPeer storage({body});
  const std::string name = "q-dir-" + tag() + ".bin";
  const std::string id = addServiceFile(name, "1003/q-dir-" + tag());
  fs::create_directories(m_dir + "/save/" + name);
  DownloadQueue q;
  q.setOptions(quick());
  q.setContext(downloadContext(storage));
  const auto row = q.add(id, name, "");
  q.start();
  ASSERT_TRUE(q.waitIdle(30000));
  ASSERT_EQ(q.rows().size(), 1u);
  EXPECT_EQ(q.rows()[0].state, RowState::Failed);
  EXPECT_TRUE(q.rows()[0].localFault);
  EXPECT_TRUE(q.rows()[0].bodyComplete);
  const std::size_t fetched = storage.requests().size();
  fs::remove(m_dir + "/save/" + name);
  q.start();
  ASSERT_TRUE(q.waitIdle(30000));
  EXPECT_TRUE(q.rows().empty());
  EXPECT_EQ(storage.requests().size(), fetched);
  EXPECT_EQ(readFile(m_dir + "/save/" + name), body);
  EXPECT_EQ(q.row(row)->finalPath, m_dir + "/save/" + name);

  // Two cloud files of one name in one run, the rule 同名覆盖: both stay.
  const std::string twin = addServiceFile(name, "1003/q-dir-b-" + tag());
  q.setContext(downloadContext(storage, NameRule::Overwrite));
  const auto first = q.add(id, name, ""), second = q.add(twin, name, "");
  q.start();
  ASSERT_TRUE(q.waitIdle(30000));
  EXPECT_TRUE(q.rows().empty());
  EXPECT_EQ(q.row(first)->finalPath, m_dir + "/save/" + name);
  EXPECT_NE(q.row(second)->finalPath, q.row(first)->finalPath);
  EXPECT_FALSE(q.row(second)->note.empty());
  EXPECT_EQ(readFile(q.row(second)->finalPath), body);
  EXPECT_TRUE(leftovers().empty());
}

// Stopping removes the running download's partial file and nothing else; the
// saved queue brings the row back for the next run of the program.
TEST_F(QueueService, StopAndRestartLoseNothing) {
  HttpPeer::Behaviour slow;
  slow.body = trickyBytes(2 << 20, 40);
  slow.hangAfterHeaders = true;
  HttpPeer storage(slow);
  const std::string name = "q-stop-" + tag() + ".bin";
  const std::string id = addServiceFile(name, "1003/q-stop-" + tag());
  const std::string saved = m_dir + "/queues.db";
  fs::create_directories(m_dir + "/save");
  writeFile(m_dir + "/save/earlier.txt", "finished earlier");
  {
    DownloadQueue q;
    q.switchAccount("demo", QueueStore::open(saved), "download");
    q.setContext(downloadContext(storage));
    q.add(id, name, "");
    q.start();
    for (int i = 0; i < 500 && leftovers().empty(); ++i) usleep(10000);
    ASSERT_EQ(leftovers().size(), 1u);
    q.stop();
    EXPECT_TRUE(leftovers().empty());
    EXPECT_FALSE(fs::exists(m_dir + "/save/" + name));
    EXPECT_EQ(readFile(m_dir + "/save/earlier.txt"), "finished earlier");
  }
  DownloadQueue next;
  auto store = QueueStore::open(saved);
  next.switchAccount("demo", store, "download");
  ASSERT_EQ(next.rows().size(), 1u);
  EXPECT_EQ(next.rows()[0].state, RowState::Queued);  // stopped while running
  storage.setBehaviour({slow.body});
  next.setContext(downloadContext(storage));
  next.start();
  ASSERT_TRUE(next.waitIdle(30000));
  EXPECT_TRUE(next.rows().empty());
  EXPECT_EQ(md5OfFile(m_dir + "/save/" + name), md5OfBytes(slow.body));
  EXPECT_TRUE(store->load("download", "demo").rows.empty());  // nothing left to keep
}

// A held download keeps its partial file at its checkpoint; resumed, it
// continues from there (a range request) and arrives byte-exact.
TEST_F(QueueService, AHeldDownloadKeepsItsPartialAndContinuesFromIt) {
  HttpPeer::Behaviour slow;
  slow.body = trickyBytes(2 << 20, 41);
  slow.hangAfterHeaders = true;
  HttpPeer storage(slow);
  const std::string name = "q-hold-" + tag() + ".bin";
  const std::string id = addServiceFile(name, "1003/q-hold-" + tag());
  fs::create_directories(m_dir + "/save");
  DownloadQueue q;
  q.setMaxActive(3);
  q.switchAccount("demo", QueueStore::open(m_dir + "/queues.db"), "download");
  q.setContext(downloadContext(storage));
  const auto row = q.add(id, name, "");
  q.start();
  std::int64_t size = 0;
  for (int i = 0; i < 500 && size <= 0; ++i) {
    usleep(10000);
    if (!leftovers().empty()) size = fs::file_size(m_dir + "/save/" + leftovers()[0]);
  }
  ASSERT_GT(size, 0);
  q.hold({row});
  ASSERT_TRUE(q.waitIdle(10000));
  ASSERT_EQ(q.row(row)->state, RowState::Held);
  ASSERT_EQ(leftovers().size(), 1u);  // kept, not deleted as a stop would
  const std::string partial = m_dir + "/save/" + leftovers()[0];
  EXPECT_EQ(q.row(row)->partial.size, static_cast<std::int64_t>(fs::file_size(partial)));
  q.start();  // a held row does not start
  ASSERT_TRUE(q.waitIdle(10000));
  EXPECT_EQ(q.row(row)->state, RowState::Held);

  storage.setBehaviour({slow.body});
  q.resume({row});
  q.start();
  ASSERT_TRUE(q.waitIdle(30000));
  EXPECT_EQ(md5OfFile(m_dir + "/save/" + name), md5OfBytes(slow.body));
  const auto asked = storage.requests();
  ASSERT_GE(asked.size(), 2u);
  EXPECT_NE(asked.back().find("Range: bytes="), std::string::npos) << asked.back();
  EXPECT_TRUE(leftovers().empty());
}

}  // namespace
}  // namespace tarnwick::transfer::test
