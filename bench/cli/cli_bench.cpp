// Starts the local service and measures the built tarnwick-cli against curl
// on the same servers, alternating the two (best of the runs each):
//   1. put of a 1 GiB file by FTP (--no-instant) up to the registration,
//      against curl -T to the same FTP server plus curl -d of the registration;
//   2. get of that file, against curl -o of its storage address;
//   3. put and get of a sparse 4 GiB file: the program's peak resident
//      memory above that of an idle run (ls).
// cli_bench [runs [skip-4gib]]. Exit code 0 when every goal is met (0.95x of
// curl, 32 MiB), else 2.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
constexpr std::int64_t kGiB = 1LL << 30;

struct Child {
  int exitCode = -1;
  double seconds = 0;
  long maxRssKb = 0;
};

// Runs argv with stdin from inFile and stdout into outFile ("" = /dev/null).
Child run(const std::vector<std::string>& args, const std::string& inFile = "", const std::string& outFile = "") {
  std::vector<std::string> a = args;
  std::vector<char*> argv;
  for (auto& s : a) argv.push_back(s.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, inFile.empty() ? "/dev/null" : inFile.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.empty() ? "/dev/null" : outFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  Child c;
  pid_t pid = 0;
  const auto t0 = std::chrono::steady_clock::now();
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    c.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    c.maxRssKb = usage.ru_maxrss;
  }
  c.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  posix_spawn_file_actions_destroy(&actions);
  if (c.exitCode != 0) std::fprintf(stderr, "exit %d: %s\n", c.exitCode, args[0].c_str());
  return c;
}

std::string readFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// The local service on free ports, its hosts exported for the children.
struct Service {
  pid_t pid = 0;
  std::string http, ftp;

  bool start(const fs::path& data) {
    int out[2];
    if (::pipe(out) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    // The FTP server logs every transfer on stderr: into the data folder's neighbour.
    const std::string log = (data.parent_path() / "service.err").string();
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> a{TARNWICK_SOURCE_DIR "/service/start", "--http", "0", "--ftp", "0", "--data",
                               data.string()};
    std::vector<char*> argv;
    for (auto& s : a) argv.push_back(s.data());
    argv.push_back(nullptr);
    const bool spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (!spawned) return false;
    std::string line;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line.push_back(c);
    ::close(out[0]);  // the service prints nothing more on stdout
    std::istringstream words(line);
    std::string ready, ftpUrl;
    words >> ready >> http >> ftpUrl;
    if (ready != "ready") return false;
    ftp = ftpUrl.substr(6);  // "ftp://"
    for (const char* name : {"TARNWICK_MAIN_HOST", "TARNWICK_DIRECT_LINK_HOST", "TARNWICK_STORAGE_HOST",
                             "TARNWICK_WEB_UPLOAD_HOST"})
      ::setenv(name, http.c_str(), 1);
    ::setenv("TARNWICK_FTP_HOST", ftp.c_str(), 1);
    return true;
  }
  void stop() {
    if (!pid) return;
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    pid = 0;
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const bool withHuge = argc < 3;
  char tmpl[] = "/tmp/tarnwick-cli-bench.XXXXXX";
  const fs::path dir = ::mkdtemp(tmpl);
  Service service;
  if (!service.start(dir / "data")) {
    std::fprintf(stderr, "the service did not start\n");
    return 1;
  }
  ::setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
  ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
  const std::string cli = TARNWICK_CLI_PATH;
  std::ofstream(dir / "password") << "demo123\n";
  int rc = 0;
  if (run({cli, "login", "demo", "--password-stdin"}, (dir / "password").string()).exitCode != 0) rc = 1;
  const nlohmann::json session = nlohmann::json::parse(readFile(dir / "state/tarnwick/session.json"));
  std::string cookie;
  for (const auto& c : session.at("cookies")) cookie += c.at("name").get<std::string>() + "=" +
                                                        c.at("value").get<std::string>() + "; ";
  const std::string big = (dir / "big.bin").string();
  if (rc == 0 && run({"head", "-c", std::to_string(kGiB), "/dev/urandom"}, "", big).exitCode != 0) rc = 1;
  const double mib = static_cast<double>(kGiB) / (1 << 20);

  double bestPut = 1e9, bestCurlPut = 1e9, bestGet = 1e9, bestCurlGet = 1e9;
  std::string fileId;
  for (int i = 0; rc == 0 && i < runs; ++i) {
    const Child put = run({cli, "--json", "put", big, "--no-instant"}, "", (dir / "put.json").string());
    if (put.exitCode != 0) { rc = 1; break; }
    fileId = std::to_string(nlohmann::json::parse(readFile(dir / "put.json")).at(0).at("id").get<long>());
    const std::string remote = "curl" + std::to_string(i) + ".bin";
    const Child curlPut = run({"curl", "-s", "-T", big, "ftp://" + service.ftp + "/" + remote + ".tnwklswj"});
    const Child curlReg = run({"curl", "-s", "-o", "/dev/null", "-b", cookie, "-d", "wjdl=" + remote,
                               service.http + "/tjwj.php?bsm=demo&mlid=0"});
    bestPut = std::min(bestPut, put.seconds);
    bestCurlPut = std::min(bestCurlPut, curlPut.seconds + curlReg.seconds);
    std::printf("run %d put: tarnwick-cli %.2f s, curl -T + curl -d %.2f s\n", i + 1, put.seconds,
                curlPut.seconds + curlReg.seconds);

    // The storage address as the file page hands it out.
    run({"curl", "-s", "-b", cookie, "-o", (dir / "page.html").string(), service.http + "/ym.php?pid=" + fileId});
    const std::string page = readFile(dir / "page.html");
    const std::size_t at = page.find("bsmzdyd");
    const std::string address =
        at == std::string::npos ? "" : service.http + "/up/" + page.substr(at + 7, page.find('<', at) - at - 7);
    fs::remove_all(dir / "got");
    const Child get = run({cli, "get", fileId, "-o", (dir / "got").string()});
    const Child curlGet = run({"curl", "-s", "-o", (dir / "curl-got.bin").string(), address});
    if (get.exitCode != 0 || curlGet.exitCode != 0 || address.empty()) { rc = 1; break; }
    bestGet = std::min(bestGet, get.seconds);
    bestCurlGet = std::min(bestCurlGet, curlGet.seconds);
    std::printf("run %d get: tarnwick-cli %.2f s, curl -o %.2f s\n", i + 1, get.seconds, curlGet.seconds);
    fs::remove(dir / "curl-got.bin");
  }
  bool goals = rc == 0;
  if (rc == 0) {
    const double putRatio = bestCurlPut / bestPut, getRatio = bestCurlGet / bestGet;
    std::printf("1 GiB put (FTP + registration): tarnwick-cli %.0f MiB/s, curl %.0f MiB/s: %.2fx (goal >= 0.95)\n",
                mib / bestPut, mib / bestCurlPut, putRatio);
    std::printf("1 GiB get: tarnwick-cli %.0f MiB/s, curl -o %.0f MiB/s: %.2fx (goal >= 0.95)\n", mib / bestGet,
                mib / bestCurlGet, getRatio);
    goals = putRatio >= 0.95 && getRatio >= 0.95;
  }
  fs::remove(big);
  fs::remove_all(dir / "got");

  if (rc == 0 && withHuge) {
    const Child idle = run({cli, "ls", "0"});
    const std::string huge = (dir / "huge.bin").string();
    std::ofstream(huge).close();
    fs::resize_file(huge, 4 * kGiB);  // sparse
    const Child put = run({cli, "--json", "put", huge}, "", (dir / "put.json").string());
    fs::remove(huge);
    const std::string id =
        put.exitCode == 0 ? std::to_string(nlohmann::json::parse(readFile(dir / "put.json")).at(0).at("id").get<long>())
                          : "";
    const Child get = id.empty() ? Child{} : run({cli, "get", id, "-o", (dir / "got").string()});
    fs::remove_all(dir / "got");
    const double putMiB = (put.maxRssKb - idle.maxRssKb) / 1024.0, getMiB = (get.maxRssKb - idle.maxRssKb) / 1024.0;
    std::printf("4 GiB put (MD5 + FTP + registration) %.1f s: peak RSS %ld KiB, idle %ld KiB: +%.1f MiB "
                "(goal <= 32)\n", put.seconds, put.maxRssKb, idle.maxRssKb, putMiB);
    std::printf("4 GiB get %.1f s: peak RSS %ld KiB: +%.1f MiB (goal <= 32)\n", get.seconds, get.maxRssKb, getMiB);
    goals = goals && put.exitCode == 0 && get.exitCode == 0 && putMiB <= 32 && getMiB <= 32;
  }
  service.stop();
  std::error_code ec;
  fs::remove_all(dir, ec);
  if (rc != 0) return rc;
  return goals ? 0 : 2;
}
