// tarnwick-cli end to end against the local service: one table of commands
// run in order by the built program, each with its exit code and what its
// output must hold. The commands work on a member of their own, "clidemo"
// (id 1921, demo's password): 2 folders and 32 files in the default folder
// (4 listing pages), so demo stays as other tests expect it.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "../net/raw_server.h"
#include "../refusing_port.h"
#include "cli_runner.h"
#include "transfer/md5.h"
#include "transfer/queue_store.h"

namespace {

using nlohmann::json;

// Runs SQL on the service's database (the service reads it afresh on every
// request) and returns the first column of the first row the last statement
// gave ("" when none).
std::string sql(const std::string& statements) {
  const char* data = std::getenv("TARNWICK_SERVICE_DATA");
  sqlite3* db = nullptr;
  std::string first, error;
  if (!data || sqlite3_open((std::string(data) + "/tarnwick.db").c_str(), &db) != SQLITE_OK) {
    ADD_FAILURE() << "no service database";
    return first;
  }
  sqlite3_busy_timeout(db, 5000);
  const char* rest = statements.c_str();
  while (*rest && error.empty()) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, rest, -1, &st, &rest) != SQLITE_OK) error = sqlite3_errmsg(db);
    if (!st) continue;  // blanks after the last statement
    first.clear();
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
      if (first.empty() && sqlite3_column_text(st, 0)) first = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    if (rc != SQLITE_DONE) error = sqlite3_errmsg(db);
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  EXPECT_EQ(error, "") << statements;
  return first;
}

std::string readFile(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

void writeFile(const std::filesystem::path& p, const std::string& bytes) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

std::string md5(const std::filesystem::path& p) { return tarnwick::transfer::md5OfFile(p.string()); }

// Bytes no stored file holds, so they cannot go by MD5.
std::string freshBytes(std::size_t n, unsigned seed) {
  std::string out(n, '\0');
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<char>((i * 2654435761u + seed * 40503u) >> 13);
  return out + std::to_string(std::time(nullptr));
}

long rangeStart(const tarnwick::test::RawRequest& r) {
  const std::string range = r.header("Range");
  return range.rfind("bytes=", 0) == 0 ? std::atol(range.c_str() + 6) : 0;
}

constexpr const char* kCloneMember =
    "DELETE FROM files WHERE owner=1921; DELETE FROM folders WHERE owner=1921;"
    "DELETE FROM sessions WHERE member=1921; DELETE FROM members WHERE id=1921;"
    "CREATE TEMP TABLE m AS SELECT * FROM members WHERE id=1001;"
    "UPDATE m SET id=1921, account='clidemo', email='cli@tarnwick.local';"
    "INSERT INTO members SELECT * FROM m;"
    "INSERT INTO folders(owner, name, parent) VALUES (1921, '脚本文档', 0), (1921, '脚本图片', 0);"
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 32) "
    "INSERT INTO files(owner, folder, name, size, date, downloads) "
    "SELECT 1921, 0, printf('命令行%02d.txt', i), 100 + i, printf('2026-01-%02d 10:00:00', i % 28 + 1), i FROM n;";

// What the commands left of the member goes at the end, so other tests'
// views of the service (other members' folders, shared names) stay as seeded.
constexpr const char* kRemoveMember =
    "DELETE FROM files WHERE owner=1921; DELETE FROM folders WHERE owner=1921;"
    "DELETE FROM sessions WHERE member=1921; DELETE FROM members WHERE id=1921;";

struct Step {
  const char* what;
  std::vector<std::string> args;  // "{name}" stands for a value captured by an earlier step
  int exitCode;
  std::vector<std::string> stdoutHas;
  std::string input = "";
  std::function<void(const CliRun&)> check = nullptr;
  std::map<std::string, std::string> env = {};
  std::function<void()> before = nullptr;
};

json parsed(const CliRun& r) {
  json j = json::parse(r.out, nullptr, false);
  EXPECT_FALSE(j.is_discarded()) << r.out;
  return j;
}

}  // namespace

TEST(CliE2E, CommandTable) {
  sql(kCloneMember);
  ASSERT_FALSE(HasFailure());
  CliRunner cli(TARNWICK_CLI_PATH);
  RefusingPort down;
  const std::string downHost = "http://127.0.0.1:" + std::to_string(down.port());
  std::string folder, topFolder, subFolder, file, otherFile, sent, resume, broken, stored, longId;  // captured from earlier steps
  std::string longName;  // 90 CJK characters: 274 bytes with its extension
  for (int i = 0; i < 90; ++i) longName += "报";
  longName += ".txt";
  const auto files = cli.dir() / "files", saved = cli.dir() / "saved";
  const std::string data = std::getenv("TARNWICK_SERVICE_DATA") ? std::getenv("TARNWICK_SERVICE_DATA") : "";
  // The storage host of the interrupted download: the body stops at half
  // while cut is set, Range requests answered from their offset.
  const std::string body = freshBytes(3 << 20, 7);
  const long half = static_cast<long>(body.size() / 2);
  std::atomic<bool> cut{true};
  std::unique_ptr<tarnwick::test::RawServer> storage;
  const auto startStorage = [&] {
    storage = std::make_unique<tarnwick::test::RawServer>([&](const tarnwick::test::RawRequest& r, const auto& send) {
      const long from = std::min<long>(rangeStart(r), static_cast<long>(body.size()));
      std::string head = from > 0 ? "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(from) +
                                        "-" + std::to_string(body.size() - 1) + "/" + std::to_string(body.size()) +
                                        "\r\n"
                                  : std::string("HTTP/1.1 200 OK\r\n");
      head += "Content-Length: " + std::to_string(body.size() - from) + "\r\nConnection: close\r\n\r\n";
      const long to = cut ? std::max(from, half) : static_cast<long>(body.size());
      send(head + body.substr(from, to - from));
    });
  };
  std::string storageHost;
  std::size_t ftpLogBefore = 0;
  const std::map<std::string, std::string> storageEnv{{"TARNWICK_STORAGE_HOST", "{storage}"}};
  const auto noSession = [&](const CliRun&) { EXPECT_FALSE(std::filesystem::exists(cli.sessionFile())); };
  const auto oneErrorLine = [](const CliRun& r) {
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  };

  const std::vector<Step> steps = {
      {"wrong password", {"login", "clidemo", "--password-stdin"}, 3, {}, "wrong\n",
       [&](const CliRun& r) { noSession(r); oneErrorLine(r); }},
      {"not logged in", {"ls"}, 3, {}, "", oneErrorLine},
      {"no terminal, no --password-stdin", {"login", "clidemo"}, 1, {}, "", noSession},
      {"service down at login", {"login", "clidemo", "--password-stdin"}, 2, {}, "demo123\n", noSession,
       {{"TARNWICK_MAIN_HOST", downHost}}},
      {"login", {"login", "clidemo", "--password-stdin"}, 0, {"clidemo", "1921"}, "demo123\n",
       [&](const CliRun&) {
         struct stat st {};
         ASSERT_EQ(::stat(cli.sessionFile().c_str(), &st), 0);
         EXPECT_EQ(st.st_mode & 0777, 0600u);
       }},
      {"whoami", {"whoami"}, 0, {"clidemo", "1921", "cli@tarnwick.local"}},
      {"a speed limit that is no rate", {"whoami", "--limit-down", "fast"}, 1, {}, "", oneErrorLine},
      {"speed limits", {"--limit-up", "200K", "--limit-down", "2MB/s", "whoami"}, 0, {"clidemo"}},
      {"whoami as JSON", {"whoami", "--json"}, 0, {},  "",
       [](const CliRun& r) {
         const json j = parsed(r);
         EXPECT_EQ(j.value("account", ""), "clidemo");
         EXPECT_EQ(j.value("userId", ""), "1921");
       }},
      // The parent id is the last column: 0 for the top level, empty for the default folder (the root).
      {"folders", {"ls"}, 0, {"\t脚本文档\t0\n", "\t脚本图片\t0\n", "0\t默认文件夹\t\n"}},
      {"folders as JSON", {"--json", "ls"}, 0, {}, "",
       [&](const CliRun& r) {
         const json j = parsed(r);
         ASSERT_TRUE(j.is_array());
         EXPECT_EQ(j.size(), 3u);
         for (const auto& f : j) {
           const bool root = f.value("id", -1) == 0;
           EXPECT_EQ(f.at("parent"), root ? json(nullptr) : json(0)) << f;
           EXPECT_EQ(f.value("level", -1), root ? 0 : 1) << f;
           if (f.value("name", "") == "脚本文档") folder = std::to_string(f.value("id", -1));
         }
         EXPECT_FALSE(folder.empty());
         topFolder = folder;
       }},
      {"every page of the default folder", {"ls", "0", "--json"}, 0, {}, "",
       [&](const CliRun& r) {
         const json j = parsed(r);
         std::set<std::string> names;
         for (const auto& f : j) names.insert(f.value("name", ""));
         EXPECT_EQ(names.size(), 32u);
         EXPECT_TRUE(names.count("命令行01.txt") && names.count("命令行32.txt"));
         file = std::to_string(j.at(0).value("id", -1));
         otherFile = std::to_string(j.at(1).value("id", -1));
         EXPECT_EQ(j.at(0).value("size", "").empty(), false);
       }},
      {"one page", {"ls", "0", "--page", "3"}, 0, {"命令行02.txt\t", "命令行01.txt\t"}, "",
       [](const CliRun& r) { EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2) << r.out; }},
      {"a page past the last", {"ls", "0", "--page", "4"}, 3, {}},
      {"a folder that does not exist", {"ls", "99999"}, 3, {}},
      {"an id that is not a number", {"ls", "abc"}, 1, {}, "", oneErrorLine},
      {"search", {"search", "命令行1"}, 0, {"\t命令行10.txt\t", "\t命令行19.txt\t"}},
      {"search folders", {"search", "脚本", "--folders"}, 0, {"\t脚本文档\t", "\t脚本图片\t"}},
      {"share link", {"link", "{file}"}, 0, {"/ym.php?pid={file}\n"}},
      {"direct link", {"link", "{file}", "--direct", "--json"}, 0, {"/yunxz1.php?pid={file}&szmm=0\""}},
      {"mkdir", {"mkdir", "命令行目录", "--parent", "{folder}", "--json"}, 0, {"命令行目录"}, "",
       [&](const CliRun& r) { folder = std::to_string(parsed(r).value("id", -1)); }},
      {"mkdir inside the new folder", {"mkdir", "命令行子目录", "--parent", "{folder}", "--json"}, 0, {}, "",
       [&](const CliRun& r) { subFolder = std::to_string(parsed(r).value("id", -1)); }},
      {"the new folders under their parents", {"ls"}, 0,
       {"{topFolder}\t脚本文档\t0\n", "{folder}\t命令行目录\t{topFolder}\n", "{subFolder}\t命令行子目录\t{folder}\n"}},
      {"the new folders' levels", {"ls", "--json"}, 0, {}, "",
       [&](const CliRun& r) {
         std::map<std::string, int> levels;
         for (const auto& f : parsed(r)) levels[f.value("name", "")] = f.value("level", -1);
         EXPECT_EQ(levels["命令行目录"], 2);
         EXPECT_EQ(levels["命令行子目录"], 3);
       }},
      {"rmdir of the inner folder", {"rmdir", "{subFolder}"}, 0, {}},
      {"mv", {"mv", "{file}", "{otherFile}", "--to", "{folder}"}, 0, {"moved {file}\n", "moved {otherFile}\n"}},
      {"the moved files", {"ls", "{folder}"}, 0, {"{file}\t命令行32.txt\t", "{otherFile}\t"}},
      {"rm with one unknown id", {"rm", "{file}", "99999"}, 5, {"deleted {file}\n"}},
      {"the removed file", {"ls", "{folder}", "--json"}, 0, {}, "",
       [&](const CliRun& r) { EXPECT_EQ(parsed(r).size(), 1u); }},
      {"rmdir", {"rmdir", "{folder}"}, 0, {}},
      {"rmdir of the default folder", {"rmdir", "0"}, 3, {}},
      {"put by MD5", {"put", (files / "known.bin").string()}, 0, {"\tknown.bin\t", "\tinstant\n"}, "",
       [&](const CliRun&) {
         EXPECT_EQ(sql("SELECT md5 FROM files WHERE owner=1921 AND name='known.bin'"), md5(files / "known.bin"));
       }, {},
       [&] {  // the bytes of a file the service holds already
         const std::string stored = sql("SELECT storage FROM files WHERE owner=1001 AND storage<>'' LIMIT 1");
         writeFile(files / "known.bin", readFile(data + "/storage/" + stored));
       }},
      {"put by FTP", {"put", (files / "cli-sent.bin").string(), "--json"}, 0, {}, "",
       [&](const CliRun& r) {
         const json j = parsed(r);
         ASSERT_EQ(j.size(), 1u);
         EXPECT_EQ(j[0].value("state", ""), "done");
         EXPECT_FALSE(j[0].value("instant", true));
         sent = std::to_string(j[0].value("id", -1));
         EXPECT_EQ(sql("SELECT md5 FROM files WHERE owner=1921 AND id=" + sent), md5(files / "cli-sent.bin"));
         const std::string ftpLog = readFile(data + "/ftp.log").substr(ftpLogBefore);
         EXPECT_NE(ftpLog.find("STOR cli-sent.bin.tnwklswj"), std::string::npos);
         EXPECT_EQ(ftpLog.find("TYPE A"), std::string::npos);
       }, {},
       [&] {
         writeFile(files / "cli-sent.bin", freshBytes(1536 << 10, 3));
         ftpLogBefore = readFile(data + "/ftp.log").size();
       }},
      {"put of a missing file beside a good one", {"put", (files / "missing.bin").string(),
                                                   (files / "known.bin").string()}, 5, {"\tknown.bin\t"}},
      {"get", {"get", "{sent}", "-o", saved.string()}, 0, {"{sent}\t" + (saved / "cli-sent.bin").string() + "\t"}, "",
       [&](const CliRun&) { EXPECT_EQ(md5(saved / "cli-sent.bin"), md5(files / "cli-sent.bin")); }},
      {"get under a new name", {"get", "{sent}", "-o", saved.string(), "--rename", "--json"}, 0, {}, "",
       [&](const CliRun& r) {
         const std::filesystem::path other = parsed(r).at(0).value("path", "");
         EXPECT_NE(other, saved / "cli-sent.bin");
         EXPECT_EQ(md5(other), md5(files / "cli-sent.bin"));
       }},
      {"get of a file that does not exist", {"get", "99999", "-o", saved.string()}, 3, {}},
      {"get cut off every time", {"get", "{resume}", "-o", saved.string()}, 2, {}, "",
       [&](const CliRun&) {
         EXPECT_FALSE(std::filesystem::exists(saved / "resume.bin"));
         std::size_t partials = 0;
         for (const auto& e : std::filesystem::directory_iterator(saved))
           if (e.path().extension() == ".tnwkpart") {
             ++partials;
             EXPECT_EQ(e.file_size(), std::size_t(half));
           }
         EXPECT_EQ(partials, 1u);
       }, storageEnv,
       [&] {
         sql("INSERT INTO files(owner, folder, name, size, date, storage) VALUES "
              "(1921, 0, 'resume.bin', " + std::to_string(body.size()) + ", '2026-01-01 10:00:00', '1921/resume.bin')");
         resume = sql("SELECT id FROM files WHERE owner=1921 AND name='resume.bin'");
         startStorage();
         storageHost = storage->url("");
       }},
      {"get again: resumes", {"get", "{resume}", "-o", saved.string()}, 0, {"{resume}\t"}, "",
       [&](const CliRun&) {
         EXPECT_EQ(storage->requests().back().header("Range"), "bytes=" + std::to_string(half) + "-");
         EXPECT_EQ(readFile(saved / "resume.bin"), body);
         for (const auto& e : std::filesystem::directory_iterator(saved)) EXPECT_NE(e.path().extension(), ".tnwkpart");
       }, storageEnv, [&] { cut = false; }},
      {"names with control characters, escaped", {"ls", "0"}, 0,
       {"{broken}\ta\\nb.txt\t", "\tesc\\x1b]0;t\\x07.txt\t", "\ttab\\tname.txt\t"}, "",
       [](const CliRun& r) {
         EXPECT_EQ(r.out.find_first_of("\x1b\x07"), std::string::npos);
         std::istringstream lines(r.out);
         for (std::string line; std::getline(lines, line);) EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 4) << line;
       }, {},
       [&] {  // names given to the service directly, with the bytes of a stored file
         stored = sql("SELECT storage FROM files WHERE owner=1001 AND storage<>'' LIMIT 1");
         const std::string size = sql("SELECT size FROM files WHERE storage='" + stored + "' LIMIT 1");
         const std::string rest = ", " + size + ", '2026-01-01 10:00:00', '" + stored + "')";
         sql("INSERT INTO files(owner, folder, name, size, date, storage) VALUES "
             "(1921, 0, 'tab' || char(9) || 'name.txt'" + rest + ", (1921, 0, 'esc' || char(27) || ']0;t' || char(7) || '.txt'" +
             rest + ", (1921, 0, 'a' || char(10) || 'b.txt'" + rest);
         broken = sql("SELECT id FROM files WHERE owner=1921 AND name='a' || char(10) || 'b.txt'");
       }},
      {"names with control characters, exact in JSON", {"ls", "0", "--json"}, 0, {}, "",
       [](const CliRun& r) {
         std::set<std::string> names;
         for (const auto& f : parsed(r)) names.insert(f.value("name", ""));
         for (const char* n : {"a\nb.txt", "esc\x1b]0;t\x07.txt", "tab\tname.txt"}) EXPECT_TRUE(names.count(n)) << n;
       }},
      {"get of a name with a line break", {"get", "{broken}", "-o", saved.string()}, 0, {"{broken}\t"}, "",
       [&](const CliRun&) { EXPECT_EQ(readFile(saved / "ab.txt"), readFile(data + "/storage/" + stored)); }},
      {"get of a name longer than a file system takes", {"get", "{long}", "-o", saved.string()}, 0, {"{long}\t"}, "",
       [&](const CliRun&) {
         std::string fitted;
         for (int i = 0; i < 83; ++i) fitted += "报";
         EXPECT_EQ(readFile(saved / (fitted + ".txt")), readFile(data + "/storage/" + stored));
       }, {},
       [&] {
         sql("INSERT INTO files(owner, folder, name, size, date, storage) SELECT 1921, 0, '" + longName +
             "', size, date, storage FROM files WHERE storage='" + stored + "' LIMIT 1");
         longId = sql("SELECT id FROM files WHERE owner=1921 AND name='" + longName + "'");
       }},
      {"and again under a new name that fits with its number", {"get", "{long}", "-o", saved.string(), "--rename",
                                                                "--json"}, 0, {}, "",
       [&](const CliRun& r) {
         const std::filesystem::path p = parsed(r).at(0).value("path", "");
         EXPECT_LE(p.filename().string().size(), 255u) << p;
         EXPECT_EQ(p.extension(), ".txt");
         EXPECT_EQ(readFile(p), readFile(data + "/storage/" + stored));
       }},
      {"put of a name GBK cannot hold: nothing sent", {"put", (files / "a😀.txt").string()}, 4, {}, "",
       [&](const CliRun& r) {
         EXPECT_NE(r.err.find("cannot send"), std::string::npos) << r.err;
         EXPECT_NE(r.err.find("😀"), std::string::npos) << r.err;
         EXPECT_EQ(sql("SELECT count(*) FROM files WHERE owner=1921 AND name IN ('a.txt', 'a')"), "0");
         EXPECT_EQ(readFile(data + "/ftp.log").size(), ftpLogBefore);
       }, {},
       [&] {
         writeFile(files / "a😀.txt", freshBytes(100, 9));
         ftpLogBefore = readFile(data + "/ftp.log").size();
       }},
      {"an error line names a file with its controls escaped", {"put", (files / "esc\x1b[2J.bin").string()}, 4, {},
       "", [](const CliRun& r) {
         EXPECT_NE(r.err.find("esc\\x1b[2J.bin"), std::string::npos) << r.err;
         EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
       }},
      {"service down", {"ls"}, 2, {}, "", oneErrorLine, {{"TARNWICK_MAIN_HOST", downHost}}},
      {"logged in elsewhere meanwhile", {"ls"}, 3, {}, "", oneErrorLine, {},
       [&] {  // a second login of the account, kept in another state folder, ends this session
         const CliRun other = cli.run({"login", "clidemo", "--password-stdin"}, "demo123\n",
                                      {{"XDG_STATE_HOME", (cli.dir() / "other-state").string()}});
         ASSERT_EQ(other.exitCode, 0) << other.err;
       }},
      {"logout", {"logout"}, 0, {"logged out"}, "", noSession},
      {"whoami after logout", {"whoami"}, 3, {}},
  };

  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    const auto fill = [&](std::string s) {
      for (const auto& [key, value] : {std::pair{"{folder}", folder}, {"{topFolder}", topFolder},
                                       {"{subFolder}", subFolder}, {"{file}", file}, {"{otherFile}", otherFile},
                                       {"{sent}", sent}, {"{resume}", resume}, {"{storage}", storageHost},
                                       {"{broken}", broken}, {"{long}", longId}})
        for (std::size_t at; (at = s.find(key)) != std::string::npos;) s.replace(at, std::strlen(key), value);
      return s;
    };
    if (step.before) step.before();
    std::vector<std::string> args;
    for (const auto& a : step.args) args.push_back(fill(a));
    std::map<std::string, std::string> env;
    for (const auto& [k, v] : step.env) env[k] = fill(v);
    const CliRun r = cli.run(args, step.input, env);
    EXPECT_EQ(r.exitCode, step.exitCode) << "stdout: " << r.out << "\nstderr: " << r.err;
    for (const auto& want : step.stdoutHas) EXPECT_NE(r.out.find(fill(want)), std::string::npos) << r.out;
    if (step.exitCode != 0 && step.exitCode != 5) {
      EXPECT_TRUE(r.out.empty()) << r.out;
    }
    if (step.check) step.check(r);
  }
  sql(kRemoveMember);
}

// The state folder on a full disk: the rows of the run cannot be saved. The
// run says so, exits 4 and does not promise that running it again continues.
TEST(CliE2E, AFullStateDiskIsReported) {
  CliRunner cli(TARNWICK_CLI_PATH);
  const auto state = cli.dir() / "tight";
  std::filesystem::create_directories(state);
  if (::geteuid() != 0 || ::mount("tmpfs", state.c_str(), "tmpfs", 0, "size=256k") != 0)
    GTEST_SKIP() << "mounting a small tmpfs needs root (" << std::strerror(errno) << ")";
  struct Unmount {
    std::filesystem::path at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{state};
  sql(kCloneMember);
  ASSERT_FALSE(HasFailure());
  cli.setEnv("XDG_STATE_HOME", state.string());
  ASSERT_EQ(cli.run({"login", "clidemo", "--password-stdin"}, "demo123\n").exitCode, 0);
  RefusingPort down;
  const std::map<std::string, std::string> serviceDown{
      {"TARNWICK_MAIN_HOST", "http://127.0.0.1:" + std::to_string(down.port())}};
  // Files whose rows are long: their paths.
  std::filesystem::path deep = cli.dir() / "files";
  for (int i = 0; i < 12; ++i) deep /= std::string(200, static_cast<char>('a' + i));
  std::filesystem::create_directories(deep);
  std::vector<std::string> files;
  for (int i = 0; i < 16; ++i) {
    files.push_back((deep / ("f" + std::to_string(i) + ".bin")).string());
    writeFile(files.back(), freshBytes(64, i));
  }

  CliRun r = cli.run({"put", files[0]}, "", serviceDown);  // the store is made while there is room
  EXPECT_EQ(r.exitCode, 2) << r.err;
  EXPECT_NE(r.err.find("run the command again"), std::string::npos) << r.err;
  // Kept open, the store's shared-memory file stays in place; then the disk fills up.
  auto holder = tarnwick::transfer::QueueStore::open((state / "tarnwick" / "queues.db").string());
  ASSERT_TRUE(holder);
  {
    std::ofstream filler(state / "filler", std::ios::binary);
    const std::string block(4096, 'f');
    for (int i = 0; i < 64 && filler.write(block.data(), block.size()); ++i) filler.flush();
  }
  std::vector<std::string> args{"put"};
  args.insert(args.end(), files.begin(), files.end());
  r = cli.run(args, "", serviceDown);
  EXPECT_EQ(r.exitCode, 4) << r.err;
  EXPECT_NE(r.err.find("the queue could not be saved"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("run the command again"), std::string::npos) << r.err;
  holder.reset();
  sql(kRemoveMember);
}

// With a Secret Service running the cookie lives in the keyring, not in the
// file; a keyring that lost it asks for a new login; logout clears it.
TEST(CliE2E, SessionInKeyring) {
  const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (!std::getenv("TARNWICK_TEST_KEYRING") || !bus) GTEST_SKIP() << "runs under with_keyring.sh";
  sql(kCloneMember);
  ASSERT_FALSE(HasFailure());
  CliRunner cli(TARNWICK_CLI_PATH);
  cli.setEnv("DBUS_SESSION_BUS_ADDRESS", bus);
  const auto keyringHolds = [] {
    return std::system("secret-tool lookup server 'Tarnwick Desktop' user cli-session:clidemo >/dev/null 2>&1") == 0;
  };

  // The desktop client's remembered password of the same account, beside which the session lives.
  ASSERT_EQ(std::system("printf remembered | secret-tool store --label=x xdg:schema org.qt.keychain "
                        "server 'Tarnwick Desktop' user clidemo type plaintext"), 0);
  const auto remembered = [] {
    FILE* p = ::popen("secret-tool lookup server 'Tarnwick Desktop' user clidemo", "r");
    char buf[64] = {};
    const std::size_t n = p ? std::fread(buf, 1, sizeof buf - 1, p) : 0;
    if (p) ::pclose(p);
    return std::string(buf, n);
  };

  CliRun r = cli.run({"login", "clidemo", "--password-stdin"}, "demo123\n");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::ifstream file(cli.sessionFile());
  const json stored = json::parse(file);
  EXPECT_EQ(stored.value("secret", ""), "keyring");
  EXPECT_FALSE(stored.contains("cookies"));
  EXPECT_TRUE(keyringHolds());
  r = cli.run({"ls"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("\t脚本文档\t0\n"), std::string::npos) << r.out;

  ASSERT_EQ(std::system("secret-tool clear server 'Tarnwick Desktop' user cli-session:clidemo"), 0);
  r = cli.run({"ls"});
  EXPECT_EQ(r.exitCode, 3) << r.err;

  ASSERT_EQ(cli.run({"login", "clidemo", "--password-stdin"}, "demo123\n").exitCode, 0);
  EXPECT_EQ(cli.run({"logout"}).exitCode, 0);
  EXPECT_FALSE(keyringHolds());
  EXPECT_FALSE(std::filesystem::exists(cli.sessionFile()));
  EXPECT_EQ(remembered(), "remembered");
  sql(kRemoveMember);
}
