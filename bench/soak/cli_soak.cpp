// Soak run of the built tarnwick-cli as a child process, killed at the worst
// moments: files go up with `put` and come back with `get` through the fault
// proxy (tests/fixtures/fault_proxy.py) in front of the service's HTTP host.
// The client is killed (SIGKILL) while the service has taken a registration
// whose reply the proxy holds, at random moments of the upload, and when a
// download through the slowed proxy has reached about 60 % of a file; each
// time it is started again (put --retry / get of the ids not yet in place).
// At the end every file on the service and every downloaded file is compared
// by MD5, nothing may be registered twice and no partial file may be left.
// Prints one line
//   soak: N/N up byte-exact, N/N down byte-exact, L lost, M mixed, K restarts (seed S)
// and exits 0 only when all of it holds.
//
// Usage: cli_soak [files [seed]]   (defaults 12 and the time)
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../../tests/fixtures/service_db.h"
#include "soak_service.h"
#include "transfer/md5.h"
#include "transfer/queue_row.h"
#include "transfer/queue_store.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tarnwick::soak::freePort;
using tarnwick::soak::Service;
using tarnwick::soak::writeRandom;
using tarnwick::test::queryDb;

namespace {

constexpr int kRunSeconds = 180;  // no single run of the client takes longer
constexpr int kMaxRuns = 10;      // runs of each direction at most

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

pid_t spawn(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
            const std::string& in, const std::string& out) {
  std::vector<std::string> envText;
  for (char** e = environ; *e; ++e) {
    const std::string kv = *e;
    if (!env.count(kv.substr(0, kv.find('=')))) envText.push_back(kv);
  }
  for (const auto& [k, v] : env) envText.push_back(k + "=" + v);
  std::vector<char*> cenv, cargv;
  for (auto& e : envText) cenv.push_back(e.data());
  cenv.push_back(nullptr);
  std::vector<std::string> argv = args;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&fa, 2, (out + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0].c_str(), &fa, &attr, cargv.data(), cenv.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  return pid;
}

// Waits for pid; until(): kill it with SIGKILL (once it returns true). The
// exit code, 128 + signal when a signal ended it, -1 when it had to be ended
// for taking too long.
template <class Until>
int waitFor(pid_t pid, Until until, bool& killed) {
  killed = false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(kRunSeconds);
  for (;;) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (!killed && until()) {
      ::kill(pid, SIGKILL);
      killed = true;
    }
    if (std::chrono::steady_clock::now() > end) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(10ms);
  }
}

// The fault proxy in front of the service's HTTP host, its rules file
// rewritten while it runs.
class Proxy {
 public:
  Proxy(const std::string& dir, const std::string& upstream) : m_dir(dir) {
    setRules("");
    const std::string portFile = dir + "/proxy.url";
    m_pid = spawn({"/usr/bin/python3", TARNWICK_SOURCE_DIR "/tests/fixtures/fault_proxy.py", "--upstream", upstream,
                   "--log", dir + "/proxy.log", "--rules", dir + "/proxy.rules", "--port-file", portFile},
                  {}, "/dev/null", dir + "/proxy.out");
    for (int i = 0; i < 200 && m_url.empty(); ++i) {
      std::this_thread::sleep_for(50ms);
      std::istringstream(slurp(portFile)) >> m_url;
    }
  }
  ~Proxy() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGTERM);
      ::waitpid(m_pid, nullptr, 0);
    }
  }
  const std::string& url() const { return m_url; }
  void setRules(const std::string& rules) {
    std::ofstream(m_dir + "/proxy.rules.tmp") << rules;
    fs::rename(m_dir + "/proxy.rules.tmp", m_dir + "/proxy.rules");
  }
  // Log lines whose first field is event and whose target has path in it.
  std::size_t count(const std::string& event, const std::string& path) const {
    std::istringstream log(slurp(m_dir + "/proxy.log"));
    std::size_t n = 0;
    for (std::string line; std::getline(log, line);)
      n += line.rfind(event + " ", 0) == 0 && line.find(path) != std::string::npos;
    return n;
  }

 private:
  std::string m_dir, m_url;
  pid_t m_pid = -1;
};

struct Source {
  std::string path, name, md5;
  std::int64_t size = 0;
  std::int64_t id = 0;  // on the service, once registered
};

// The first tab-separated field of each stdout line of a run ("id\tname..." of put,
// "id\tpath..." of get).
std::vector<std::string> firstFields(const std::string& out) {
  std::vector<std::string> ids;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);)
    if (line.find('\t') != std::string::npos) ids.push_back(line.substr(0, line.find('\t')));
  return ids;
}

// The largest partial file of folder and the file it belongs to (by name).
std::pair<std::string, std::int64_t> biggestPartial(const std::string& folder) {
  std::pair<std::string, std::int64_t> best{"", 0};
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) {
    const std::string n = e.path().filename().string();
    if (n.size() < 9 || n.compare(n.size() - 9, 9, ".tnwkpart") != 0) continue;
    const std::int64_t size = static_cast<std::int64_t>(e.file_size(ec));
    if (!ec && size > best.second) best = {n, size};
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::max(3, std::atoi(argv[1])) : 12;
  const unsigned long seed = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : static_cast<unsigned long>(::time(nullptr));
  std::mt19937_64 rng(seed);
  const std::string root = fs::temp_directory_path() / ("tarnwick-cli-soak-" + std::to_string(::getpid()));
  for (const char* d : {"/data", "/files", "/down", "/home", "/state", "/proxy"}) fs::create_directories(root + d);
  Service service(root + "/data", freePort(), freePort());
  if (!service.start()) {
    std::fprintf(stderr, "cli soak: the service did not start\n");
    return 1;
  }
  Proxy proxy(root + "/proxy", service.host());
  if (proxy.url().empty()) {
    std::fprintf(stderr, "cli soak: the fault proxy did not start\n");
    return 1;
  }
  const std::map<std::string, std::string> env{
      {"HOME", root + "/home"},
      {"XDG_STATE_HOME", root + "/state"},
      {"DBUS_SESSION_BUS_ADDRESS", ""},
      {"TARNWICK_MAIN_HOST", proxy.url()},
      {"TARNWICK_STORAGE_HOST", proxy.url()},
      {"TARNWICK_DIRECT_LINK_HOST", service.host()},
      {"TARNWICK_WEB_UPLOAD_HOST", service.host()},
      {"TARNWICK_FTP_HOST", service.ftpHost()},
  };
  const std::string cli = TARNWICK_CLI_PATH, out = root + "/run.out";
  std::ofstream(root + "/password") << "demo123\n";
  bool killed = false;
  if (waitFor(spawn({cli, "login", "demo", "--password-stdin"}, env, root + "/password", out), [] { return false; },
              killed) != 0) {
    std::fprintf(stderr, "cli soak: login failed: %s\n", slurp(out + ".err").c_str());
    return 1;
  }

  // The files: 1 KiB to 6 MiB, names with blanks and CJK characters.
  std::vector<Source> sources;
  const char* stems[] = {"soak 报告 ", "soak photo ", "soak 音乐文件", "soak a b  c"};
  for (int i = 0; i < count; ++i) {
    Source s;
    s.name = std::string(stems[i % 4]) + std::to_string(i) + (i % 3 ? ".bin" : " 副本.dat");
    s.size = i % 4 == 1 ? std::uniform_int_distribution<std::int64_t>(3 << 20, 6 << 20)(rng)
                        : std::uniform_int_distribution<std::int64_t>(1024, 400000)(rng);
    s.path = root + "/files/" + s.name;
    if (!writeRandom(s.path, s.size, rng)) return 1;
    s.md5 = tarnwick::transfer::md5OfFile(s.path);
    sources.push_back(s);
  }
  int restarts = 0;
  std::string problems;

  // Up. Run 0 and 1: killed while the service's reply to a registration is
  // held; run 2: killed at a random moment; later runs go undisturbed.
  const std::string store = root + "/state/tarnwick/queues.db";
  std::set<std::string> reported;  // local paths a run reported done
  for (int run = 0; run < kMaxRuns; ++run) {
    std::vector<std::string> args{cli, "put", "--retry"};
    std::set<std::string> saved;
    if (auto db = tarnwick::transfer::QueueStore::open(store, nullptr))
      for (const auto& r : db->load("upload", "demo").rows) saved.insert(r.localPath);
    for (const Source& s : sources)
      if (!reported.count(s.path) && !saved.count(s.path)) args.push_back(s.path);
    const std::size_t heldBefore = proxy.count("held", "/tjwj.php");
    proxy.setRules(run < 2 ? "hold /tjwj.php 120\n" : "");
    const auto start = std::chrono::steady_clock::now();
    const auto killAfter = std::chrono::milliseconds(std::uniform_int_distribution<int>(300, 1500)(rng));
    const int code = waitFor(spawn(args, env, "/dev/null", out), [&] {
      if (run < 2) return proxy.count("held", "/tjwj.php") > heldBefore;
      return run == 2 && std::chrono::steady_clock::now() - start > killAfter;
    }, killed);
    const std::string lines = slurp(out);  // "id\tname\tsize\tsent" per file
    for (const Source& s : sources)
      if (lines.find("\t" + s.name + "\t") != std::string::npos) reported.insert(s.path);
    restarts += killed;
    if (!killed && code == 0) break;
    if (!killed) std::fprintf(stderr, "cli soak: put ended with %d: %s", code, slurp(out + ".err").c_str());
  }
  proxy.setRules("");

  // What the service holds of each file: exactly one row, byte-exact.
  const std::string db = root + "/data/tarnwick.db";
  int upExact = 0, lost = 0, mixed = 0;
  for (Source& s : sources) {
    const auto rows = queryDb(db, "SELECT id, md5 FROM files WHERE owner=1001 AND folder=0 AND name='" + s.name + "'");
    if (rows.empty()) {
      ++lost;
      problems += "not uploaded: " + s.name + "\n";
      continue;
    }
    if (rows.size() > 1) {
      ++mixed;
      problems += "on the service " + std::to_string(rows.size()) + " times: " + s.name + "\n";
    }
    s.id = std::atoll(rows[0][0].c_str());
    if (rows[0][1] == s.md5 && rows.size() == 1)
      ++upExact;
    else if (rows[0][1] != s.md5) {
      ++mixed;
      problems += "not byte-exact on the service: " + s.name + "\n";
    }
  }

  // Down, through the slowed proxy: run 0 killed when a partial file holds
  // 60 % of its file, run 1 likewise at 30 %; later runs go undisturbed.
  std::set<std::int64_t> got;  // ids a run reported done
  int downAsked = 0;
  for (const Source& s : sources) downAsked += s.id > 0;
  for (int run = 0; run < kMaxRuns; ++run) {
    std::vector<std::string> args{cli, "get", "-o", root + "/down"};
    for (const Source& s : sources)
      if (s.id > 0 && !got.count(s.id)) args.push_back(std::to_string(s.id));
    if (args.size() == 4) break;
    proxy.setRules(run < 2 ? "slow /up/ 2000000\n" : "");
    // A partial file continued by this run counts only once it has grown.
    const double share = run == 0 ? 0.6 : 0.3;
    const std::int64_t atStart = biggestPartial(root + "/down").second;
    const int code = waitFor(spawn(args, env, "/dev/null", out), [&] {
      if (run >= 2) return false;
      const auto [name, size] = biggestPartial(root + "/down");
      for (const Source& s : sources)
        if (!name.empty() && name.rfind(s.name + ".", 0) == 0 && s.size >= (1 << 20) && size >= s.size * share &&
            size > atStart + (256 << 10))
          return true;
      return false;
    }, killed);
    for (const std::string& id : firstFields(slurp(out))) got.insert(std::atoll(id.c_str()));
    restarts += killed;
    if (!killed && code == 0) break;
    if (!killed) std::fprintf(stderr, "cli soak: get ended with %d: %s", code, slurp(out + ".err").c_str());
  }
  int downExact = 0;
  for (const Source& s : sources) {
    if (s.id <= 0) continue;
    const std::string path = root + "/down/" + s.name;
    if (!fs::exists(path)) {
      ++lost;
      problems += "not downloaded: " + s.name + "\n";
    } else if (tarnwick::transfer::md5OfFile(path) == s.md5) {
      ++downExact;
    } else {
      ++mixed;
      problems += "not byte-exact after the download: " + s.name + "\n";
    }
  }
  for (const auto& e : fs::directory_iterator(root + "/down"))
    if (e.path().extension() == ".tnwkpart") problems += "partial file left: " + e.path().filename().string() + "\n";
  const std::size_t resumed = proxy.count("request", "bytes=");

  std::fprintf(stderr, "%s", problems.c_str());
  std::fprintf(stderr, "cli soak: %zu requests of the storage host continued a partial file\n", resumed);
  std::printf("soak: %d/%d up byte-exact, %d/%d down byte-exact, %d lost, %d mixed, %d restarts (seed %lu)\n",
              upExact, count, downExact, downAsked, lost, mixed, restarts, seed);
  service.kill();
  std::error_code ec;
  fs::remove_all(root, ec);
  const bool ok = upExact == count && downExact == count && lost == 0 && mixed == 0 && problems.empty() &&
                  restarts >= 3;
  return ok ? 0 : 1;
}
