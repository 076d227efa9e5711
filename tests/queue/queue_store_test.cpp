// The queue store: a damaged file set aside, saved rows that fail their
// checks, the whole files of earlier versions moved in, a process killed
// between changes, and a full disk.
#include "transfer/queue_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "transfer/download_queue.h"
#include "transfer/upload_queue.h"

namespace tarnwick::transfer {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

void writeFile(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/queue-store-test.XXXXXX";
    m_dir = ::mkdtemp(tmpl);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(m_dir, ec);
  }
  const fs::path& path() const { return m_dir; }

 private:
  fs::path m_dir;
};

// An upload queue whose rows are written back and committed on request.
class StoredUploads : public UploadQueue {
 public:
  using UploadQueue::updateRowNow;
};

QueueRow uploadRow(std::uint64_t id, const std::string& path) {
  QueueRow r;
  r.id = id;
  r.localPath = path;
  r.name = fs::path(path).filename().string();
  return r;
}

std::vector<std::uint64_t> idsOf(const std::vector<QueueRow>& rows) {
  std::vector<std::uint64_t> ids;
  for (const QueueRow& r : rows) ids.push_back(r.id);
  return ids;
}

TEST(QueueStore, ADamagedFileIsSetAsideAndAFreshStoreWorks) {
  struct Case {
    const char* what;
    std::function<void(const std::string&)> damage;
  };
  const std::vector<Case> cases = {
      {"garbage bytes",
       [](const std::string& db) {
         writeFile(db, std::string(9000, '\x5a'));
         writeFile(db + "-wal", "what SQLite kept beside it");
       }},
      {"a database header over broken pages",
       [](const std::string& db) {
         std::string bytes = std::string("SQLite format 3") + '\0' + std::string(8192, '\xff');
         bytes[16] = 0x10;  // page size 4096
         bytes[17] = 0x00;
         writeFile(db, bytes);
       }},
      {"another program's database",
       [](const std::string& db) {
         sqlite3* h = nullptr;
         sqlite3_open(db.c_str(), &h);
         sqlite3_exec(h, "CREATE TABLE queue_rows(something_else TEXT)", nullptr, nullptr, nullptr);
         sqlite3_close(h);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string db = (dir.path() / "queues.db").string();
    c.damage(db);
    const std::string before = readFile(db), walBefore = readFile(db + "-wal");

    std::string error;
    auto store = QueueStore::open(db, &error);
    ASSERT_TRUE(store) << error;
    EXPECT_NE(store->notice().find(".damaged-"), std::string::npos) << store->notice();
    std::vector<fs::path> aside;
    for (const auto& e : fs::directory_iterator(dir.path()))
      if (e.path().filename().string().rfind("queues.db.damaged-", 0) == 0) aside.push_back(e.path());
    ASSERT_FALSE(aside.empty());
    std::sort(aside.begin(), aside.end());
    EXPECT_TRUE(readFile(aside[0]) == before);  // kept byte for byte, never deleted
    if (!walBefore.empty()) {
      EXPECT_TRUE(readFile(aside[0].string() + "-wal") == walBefore);
    }

    ASSERT_TRUE(store->apply("upload", "demo", {uploadRow(5, "/tmp/a.bin")}, {}, &error)) << error;
    store.reset();
    auto again = QueueStore::open(db, &error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(again->notice(), "");
    EXPECT_EQ(idsOf(again->load("upload", "demo").rows), std::vector<std::uint64_t>{5});
  }
}

// A new order for some rows deals out the places they held; the others keep
// theirs, and a row queued later still goes to the end.
TEST(QueueStore, SetOrderMovesOnlyTheListedRows) {
  TempDir dir;
  auto store = QueueStore::open((dir.path() / "queues.db").string());
  ASSERT_TRUE(store);
  std::vector<QueueRow> rows;
  for (std::uint64_t id = 1; id <= 4; ++id) rows.push_back(uploadRow(id, "/tmp/" + std::to_string(id)));
  ASSERT_TRUE(store->apply("upload", "demo", rows, {}));
  ASSERT_TRUE(store->apply("upload", "alice", {uploadRow(9, "/tmp/9")}, {}));
  ASSERT_TRUE(store->setOrder("upload", "demo", {4, 2, 77}));
  ASSERT_TRUE(store->apply("upload", "demo", {uploadRow(5, "/tmp/5"), uploadRow(1, "/tmp/one")}, {}));
  const auto loaded = store->load("upload", "demo").rows;
  EXPECT_EQ(idsOf(loaded), (std::vector<std::uint64_t>{1, 4, 3, 2, 5}));
  EXPECT_EQ(loaded[0].localPath, "/tmp/one");  // changed in place
  EXPECT_EQ(idsOf(store->load("upload", "alice").rows), std::vector<std::uint64_t>{9});
}

// A saved row that fails its checks is reported and left in the store as it
// is; the queue works the others and never writes over it.
TEST(QueueStore, RowsFailingTheirChecksStayInTheStoreOutOfTheQueue) {
  TempDir dir;
  const std::string db = (dir.path() / "queues.db").string();
  auto store = QueueStore::open(db);
  ASSERT_TRUE(store);
  const auto download = [](std::uint64_t id, const std::string& folder, const std::string& partial = {},
                           const std::string& file = "42") {
    QueueRow r;
    r.id = id;
    r.fileId = file;
    r.name = "x.bin";
    r.saveFolder = folder;
    r.partial.path = partial;
    return r;
  };
  const std::vector<QueueRow> good = {download(1, "/tmp/x/"), download(2, ""),
                                      download(3, "/tmp/x/", "/tmp/x/x.bin.42-00000003.tnwkpart")};
  const std::vector<QueueRow> bad = {
      download(10, "/tmp/x/dl"),                   // no trailing "/": a row cut inside its folder
      download(11, "tmp/x/"),                      // relative
      download(12, "/tmp/x/../y/"),                // not normalised
      download(13, "/tmp/x/", "/home/u/.bashrc"),  // a partial file elsewhere would be deleted
      download(14, "/tmp/x/", {}, "../../etc/a"),  // a file id that names a path
      download(15, "/tmp/x/", {}, ""),             // required field missing
  };
  std::vector<QueueRow> all = good;
  all.insert(all.end(), bad.begin(), bad.end());
  ASSERT_TRUE(store->apply("download", "demo", all, {}));
  // A row whose data does not decode at all.
  sqlite3* h = nullptr;
  ASSERT_EQ(sqlite3_open(db.c_str(), &h), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(h,
                         "INSERT INTO queue_rows VALUES('download', CAST('demo' AS BLOB), 16, 99, "
                         "CAST('id=16\tstate=queued\tname=%zz' AS BLOB))",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);

  {
    DownloadQueue q;
    q.switchAccount("demo", store, "download");
    EXPECT_EQ(idsOf(q.rows()), idsOf(good));
    const auto rejected = q.rejectedRows();
    ASSERT_EQ(rejected.size(), bad.size() + 1);
    for (std::size_t i = 0; i < bad.size(); ++i)
      EXPECT_NE(rejected[i].find("row " + std::to_string(bad[i].id)), std::string::npos) << rejected[i];
    q.add("77", "new.bin", "", "/tmp/x/");
    ASSERT_TRUE(q.remove({1}));
    q.stop();
    EXPECT_TRUE(q.saveOk()) << q.lastSaveError();
  }
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(h, "SELECT count(*) FROM queue_rows WHERE id >= 10 AND id <= 16", -1, &st, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(st, 0), 7);  // every rejected row is still there
  sqlite3_finalize(st);
  sqlite3_close(h);
  const StoredRows after = store->load("download", "demo");
  ASSERT_EQ(after.rows.size(), 3u);  // 2, 3 and the new row, in that order
  EXPECT_EQ(after.rows[0].id, 2u);
  EXPECT_EQ(after.rows[2].fileId, "77");
}

// The whole file of an earlier version, with any line ends and a last line
// cut while it was written: the whole rows move into the store, the cut one
// is reported, and the file is renamed only after the commit.
TEST(QueueStore, AnOldQueueFileMovesIntoTheStore) {
  QueueRow a = uploadRow(101, "/tmp/a.bin"), b = uploadRow(102, "/tmp/b b.bin");
  QueueRow cutRow;
  cutRow.id = 103;
  cutRow.fileId = "9";
  cutRow.saveFolder = "/tmp/x/dl";
  std::string cut = encodeRow(cutRow);
  cut = cut.substr(0, cut.find("save=/tmp/x/dl") + 14);
  for (const char* end : {"\n", "\r\n", "\r"}) {
    SCOPED_TRACE(testing::PrintToString(std::string(end)));
    TempDir dir;
    auto store = QueueStore::open((dir.path() / "queues.db").string());
    ASSERT_TRUE(store);
    const std::string old = (dir.path() / "uploads-demo.queue").string();
    const std::string bytes =
        std::string("tarnwick-queue 1") + end + encodeRow(a) + end + "broken line" + end + encodeRow(b) + end + cut;
    writeFile(old, bytes);

    const ImportReport report = store->importFile("upload", "demo", old);
    EXPECT_EQ(report.error, "");
    EXPECT_EQ(report.imported, 2u);
    ASSERT_EQ(report.problems.size(), 2u);
    EXPECT_NE(report.problems[0].find("line 3"), std::string::npos) << report.problems[0];
    EXPECT_NE(report.problems[1].find("cut"), std::string::npos) << report.problems[1];
    EXPECT_FALSE(fs::exists(old));
    EXPECT_EQ(report.renamedTo, old + ".imported");
    EXPECT_EQ(readFile(old + ".imported"), bytes);
    EXPECT_EQ(idsOf(store->load("upload", "demo").rows), (std::vector<std::uint64_t>{101, 102}));
    EXPECT_EQ(store->importFile("upload", "demo", old).imported, 0u);  // once only
  }
}

// Each change the child reported committed is there after a SIGKILL.
TEST(QueueStore, AKillBetweenChangesLosesNothingCommitted) {
  TempDir dir;
  const std::string db = (dir.path() / "queues.db").string();
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(fds[0]);
    auto store = QueueStore::open(db);
    StoredUploads q;
    q.switchAccount("demo", store, "upload");
    for (int i = 0; i < 100000; ++i) {
      const std::uint64_t id = q.add("/tmp/kill-" + std::to_string(i) + ".bin");
      if (!q.updateRowNow(*q.row(id))) ::_exit(3);
      if (::write(fds[1], &id, sizeof id) != sizeof id) ::_exit(4);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  std::vector<std::uint64_t> committed;
  std::uint64_t id = 0;
  while (committed.size() < 30 && ::read(fds[0], &id, sizeof id) == sizeof id) committed.push_back(id);
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(fds[0]);
  ASSERT_EQ(committed.size(), 30u) << "the child ended early: " << status;

  std::string error;
  auto store = QueueStore::open(db, &error);
  ASSERT_TRUE(store) << error;
  EXPECT_EQ(store->notice(), "");
  const std::vector<std::uint64_t> loaded = idsOf(store->load("upload", "demo").rows);
  ASSERT_GE(loaded.size(), committed.size());
  // In the order they were added, nothing missing.
  EXPECT_EQ(std::vector<std::uint64_t>(loaded.begin(), loaded.begin() + committed.size()), committed);
}

// A full disk: the commit fails, SaveFailed is told once, the rows stay
// dirty and are written by the first commit the disk takes again.
TEST(QueueStore, AFullDiskIsNeverSilent) {
  TempDir dir;
  const fs::path mountPoint = dir.path() / "small";
  fs::create_directories(mountPoint);
  if (::geteuid() != 0 || ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=256k") != 0)
    GTEST_SKIP() << "mounting a small tmpfs needs root (" << std::strerror(errno) << ")";
  struct Unmount {
    fs::path at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{mountPoint};

  const std::string db = (mountPoint / "queues.db").string();
  auto store = QueueStore::open(db);
  ASSERT_TRUE(store);
  StoredUploads q;
  std::atomic<int> told{0};
  std::string toldText;
  q.setListener([&](const QueueEvent& e) {
    if (e.kind != QueueEventKind::SaveFailed) return;
    toldText = e.text;
    ++told;
  });
  q.switchAccount("demo", store, "upload");
  const std::uint64_t first = q.add("/tmp/first.bin");
  ASSERT_TRUE(q.updateRowNow(*q.row(first))) << q.lastSaveError();

  {  // the disk fills up
    std::ofstream filler(mountPoint / "filler", std::ios::binary);
    const std::string block(4096, 'f');
    for (int i = 0; i < 256 && filler.write(block.data(), block.size()); ++i) filler.flush();
  }
  const std::string longPath = "/tmp/" + std::string(3000, 'p') + "/";
  std::vector<std::uint64_t> later;
  bool committed = true;
  for (int i = 0; i < 40 && committed; ++i) {
    later.push_back(q.add(longPath + std::to_string(i) + ".bin"));
    committed = q.updateRowNow(*q.row(later.back()));
  }
  ASSERT_FALSE(committed);
  EXPECT_FALSE(q.saveOk());
  EXPECT_FALSE(q.lastSaveError().empty());
  q.add("/tmp/one-more.bin");
  EXPECT_FALSE(q.updateRowNow(*q.row(first)));
  EXPECT_EQ(told.load(), 1);  // told once, not at every try
  EXPECT_FALSE(toldText.empty());

  fs::remove(mountPoint / "filler");
  EXPECT_TRUE(q.updateRowNow(*q.row(first)));
  EXPECT_TRUE(q.saveOk());
  EXPECT_EQ(q.lastSaveError(), "");
  auto other = QueueStore::open(db);
  ASSERT_TRUE(other);
  EXPECT_EQ(other->load("upload", "demo").rows.size(), q.rows().size());  // nothing dirty was dropped
  q.switchAccount("", nullptr, "upload");
}

}  // namespace
}  // namespace tarnwick::transfer
