// Many small files each way, through the queues and through curl:
//   up:   the upload queue (FTP, then registration) against `curl -T "{f1,...}"`
//         to the same FTP server;
//   down: the download queue (address page, then the file) against one curl
//         invocation fetching every stored file.
// small_files_bench [files [bytes]]: 100 files of 100 KB by default. Starts a
// service instance of its own. Exit code 0 when both ratios are at most 1.5.
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "account/login.h"
#include "net/http.h"
#include "transfer/download_queue.h"
#include "transfer/upload_queue.h"

using namespace tarnwick;
namespace fs = std::filesystem;

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::string envValue(const std::string& envFile, const std::string& key) {
  std::ifstream in(envFile);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  return "";
}

std::vector<std::string> column(const std::string& db, const std::string& sql) {
  std::vector<std::string> out;
  sqlite3* h = nullptr;
  if (sqlite3_open(db.c_str(), &h) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr) == SQLITE_OK)
      while (sqlite3_step(st) == SQLITE_ROW) out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
  }
  sqlite3_close(h);
  return out;
}

double runShell(const std::string& command) {
  const auto began = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
  return seconds(began);
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
  const std::size_t bytes = argc > 2 ? static_cast<std::size_t>(std::atol(argv[2])) : 100 * 1024;
  const std::string dir = fs::temp_directory_path() / ("small-files-" + std::to_string(::getpid()));
  fs::create_directories(dir + "/up");
  const std::string service = dir + "/service";
  if (std::system((TARNWICK_SOURCE_DIR "/tests/fixtures/service_up.sh " + service + " >/dev/null").c_str()) != 0)
    return 1;
  const std::string main = envValue(service + "/service.env", "TARNWICK_MAIN_HOST");
  const std::string ftp = envValue(service + "/service.env", "TARNWICK_FTP_HOST");
  const std::string data = envValue(service + "/service.env", "TARNWICK_SERVICE_DATA");
  int rc = 1;
  do {
    const account::Request login = account::loginRequest(main, "demo", "demo123");
    auto reply = account::judgeLoginReply(net::httpRequestText(login.url, "POST", "", "", login.body));
    if (!reply) {
      std::fprintf(stderr, "login failed\n");
      break;
    }
    std::mt19937 rng(7);
    std::string names;
    for (int i = 0; i < count; ++i) {
      std::string content(bytes, '\0');
      for (char& c : content) c = static_cast<char>(rng());
      const std::string name = "small-" + std::to_string(i) + ".bin";
      std::ofstream(dir + "/up/" + name, std::ios::binary) << content;
      names += (i ? "," : "") + dir + "/up/" + name;
    }

    transfer::UploadQueue up;
    transfer::UploadContext uc;
    uc.mainHost = main;
    uc.ftpHost = ftp;
    uc.account = "demo";
    uc.userId = reply->userId;
    uc.currentFolder = [] { return 0; };
    up.setContext(uc);
    for (int i = 0; i < count; ++i) up.add(dir + "/up/small-" + std::to_string(i) + ".bin");
    auto began = std::chrono::steady_clock::now();
    up.start();
    up.waitIdle(600000);
    const double oursUp = seconds(began);
    const std::size_t sent = up.finished().size();
    const double curlUp = runShell("curl -s -T '{" + names + "}' ftp://" + ftp + "/");

    transfer::DownloadQueue down;
    transfer::DownloadContext dc;
    dc.mainHost = main;
    dc.storageHost = main;
    dc.saveFolder = dir + "/down";
    down.setContext(dc);
    std::string urls;
    for (const transfer::QueueRow& r : up.finished()) {
      down.add(std::to_string(r.remoteId), r.name, "");
      for (const std::string& path : column(data + "/tarnwick.db", "SELECT storage FROM files WHERE id=" +
                                                                       std::to_string(r.remoteId)))
        urls += " -o /dev/null " + main + "/up/" + path;
    }
    began = std::chrono::steady_clock::now();
    down.start();
    down.waitIdle(600000);
    const double oursDown = seconds(began);
    const std::size_t got = down.finished().size();
    const double curlDown = runShell("curl -s" + urls);

    std::printf("small files up: ours %.2f s, curl %.2f s, ratio %.2f (%zu of %d sent)\n", oursUp, curlUp,
                oursUp / curlUp, sent, count);
    std::printf("small files down: ours %.2f s, curl %.2f s, ratio %.2f (%zu of %zu arrived)\n", oursDown,
                curlDown, oursDown / curlDown, got, sent);
    rc = oursUp <= 1.5 * curlUp && oursDown <= 1.5 * curlDown && sent == static_cast<std::size_t>(count) &&
                 got == sent
             ? 0
             : 2;
  } while (false);
  std::system((TARNWICK_SOURCE_DIR "/tests/fixtures/service_down.sh " + service).c_str());
  fs::remove_all(dir);
  return rc;
}
