// Many small files each way, through the queues and through curl:
//   up:   the upload queue (instant check, FTP, registration per file) against
//         curl doing the same job: md5sum, one curl invocation for the instant
//         checks, one `-T` invocation for every file over one FTP session,
//         one for the registrations (other files of the same sizes, so that
//         the instant check finds none of them). `curl -T` alone is printed
//         too, beside the same files through the transfer engine over one
//         FTP session (the queue's FTP part without its HTTP requests);
//   down: the download queue (address page, then the file) against one curl
//         invocation fetching every stored file over one connection, and
//         against curl sending the queue's own requests.
// small_files_bench [files [bytes]]: 100 files of 100 KB by default. Starts a
// service instance of its own. Exit code 0 when both ratios are at most 1.5.
//
// Other servers in front of the service (README: vsftpd and nginx):
//   SMALL_FILES_DIR      the bench's folder (default: a new one under /tmp);
//                        the service's data is in $SMALL_FILES_DIR/service/data
//   SMALL_FILES_FTP      host:port of an FTP server whose upload folder is
//                        the service's data/ftp (uploads go there, the
//                        service registers them from there)
//   SMALL_FILES_FTP_USER user:password for it (default: anonymous)
//   SMALL_FILES_STORAGE  http://host:port of a web server that serves the
//                        service's data/storage under /up/ (downloads)
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "../plain_support.h"
#include "account/login.h"
#include "net/connection_share.h"
#include "net/cookies.h"
#include "net/http.h"
#include "transfer/download_plan.h"
#include "transfer/download_queue.h"
#include "transfer/ftp_upload.h"
#include "transfer/md5.h"
#include "transfer/upload_requests.h"
#include "transfer/upload_queue.h"

using namespace tarnwick;
namespace fs = std::filesystem;

namespace {

using tarnwick::bench::column;
using tarnwick::bench::envValue;
using tarnwick::bench::seconds;
using tarnwick::bench::bestOfThree;
using tarnwick::bench::runShell;

// The FTP part alone: every file through the transfer engine, one after
// the other over one logged-in session (as a queue run sends them), no
// instant check, no registration. Seconds, or -1 when a file failed.
double ftpEngineAlone(const std::vector<std::string>& files, const std::string& ftpHost, const std::string& user,
                      const std::string& password) {
  auto session = std::make_shared<net::ConnectionShare>();
  const auto began = std::chrono::steady_clock::now();
  for (const std::string& path : files) {
    transfer::FtpUploadFile file;
    file.ftpHost = ftpHost;
    file.localPath = path;
    file.fileNameGbk = "engine-" + fs::path(path).filename().string();
    file.user = user;
    file.password = password;
    transfer::TransferParams p = transfer::ftpUploadParams(file);
    p.connections = session;
    std::mutex m;
    std::condition_variable cv;
    bool ended = false, ok = false;
    p.onFinished = [&](int code, const transfer::TransferReport& r) {
      if (code == transfer::kEventThreadEnded) {
        std::lock_guard lock(m);
        ended = true;
        ok = r.succeeded;
        cv.notify_all();
      }
      return true;
    };
    transfer::FtpUpload upload;
    if (!upload.start(p)) return -1;
    std::unique_lock lock(m);
    if (!cv.wait_for(lock, std::chrono::seconds(60), [&] { return ended; }) || !ok) return -1;
  }
  return seconds(began);
}


}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
  const std::size_t bytes = argc > 2 ? static_cast<std::size_t>(std::atol(argv[2])) : 100 * 1024;
  const char* fixedDir = std::getenv("SMALL_FILES_DIR");
  const std::string dir = fixedDir && *fixedDir ? std::string(fixedDir)
                                                : (fs::temp_directory_path() / ("small-files-" + std::to_string(::getpid()))).string();
  fs::remove_all(dir + "/up");
  fs::remove_all(dir + "/curl");
  fs::remove_all(dir + "/down");
  fs::create_directories(dir + "/up");
  const std::string service = dir + "/service";
  if (std::system((TARNWICK_SOURCE_DIR "/tests/fixtures/service_up.sh " + service + " >/dev/null").c_str()) != 0)
    return 1;
  const std::string main = envValue(service + "/service.env", "TARNWICK_MAIN_HOST");
  const char* ftpOverride = std::getenv("SMALL_FILES_FTP");
  const char* storageOverride = std::getenv("SMALL_FILES_STORAGE");
  const std::string ftp =
      ftpOverride && *ftpOverride ? std::string(ftpOverride) : envValue(service + "/service.env", "TARNWICK_FTP_HOST");
  const std::string data = envValue(service + "/service.env", "TARNWICK_SERVICE_DATA");
  // Another FTP server's user writes into the service's folder.
  if (ftpOverride && *ftpOverride) fs::permissions(data + "/ftp", fs::perms::all);
  const char* ftpLogin = std::getenv("SMALL_FILES_FTP_USER");
  const std::string ftpUserPassword = ftpLogin ? ftpLogin : "";
  const std::string curlFtpUser = ftpUserPassword.empty() ? "" : " -u '" + ftpUserPassword + "'";
  int rc = 1;
  do {
    const account::Request login = account::loginRequest(main, "demo", "demo123");
    auto reply = account::judgeLoginReply(net::httpRequestText(login.url, "POST", "", "", login.body));
    if (!reply) {
      std::fprintf(stderr, "login failed\n");
      break;
    }
    std::mt19937 rng(7);
    std::string names, ftpConfig, instantConfig, registerConfig, md5Command = "md5sum";
    fs::create_directories(dir + "/curl");
    const transfer::UploadTarget target{main, "demo", 0};
    std::string cookies;  // the session of the login above: the service registers for it only
    for (const net::Cookie& c : net::allCookies()) cookies += c.name + "=" + c.value + ";";
    const auto post = [&](const transfer::UploadRequest& r) {
      return "url = \"" + r.url + "\"\ndata = \"" + r.body + "\"\ncookie = \"" + cookies +
             "\"\noutput = /dev/null\n";
    };
    for (int i = 0; i < count; ++i) {
      const std::string name = "small-" + std::to_string(i) + ".bin";
      for (const std::string& folder : {dir + "/up/", dir + "/curl/"}) {
        std::string content(bytes, '\0');
        for (char& c : content) c = static_cast<char>(rng());
        std::ofstream(folder + name, std::ios::binary) << content;
      }
      names += (i ? "," : "") + dir + "/up/" + name;
      const std::string path = dir + "/curl/" + name;
      md5Command += " " + path;
      ftpConfig += "upload-file = \"" + path + "\"\nurl = \"ftp://" + ftp + "/curl-" + name +
                   transfer::kUploadSuffix + "\"\n";
      if (i) instantConfig += "next\n", registerConfig += "next\n";
      instantConfig += post(transfer::instantUploadRequest(target, transfer::md5OfFile(path), "curl-" + name));
      registerConfig += post(transfer::registerUploadRequest(target, "curl-" + name));
    }
    for (const auto& [file, text] : {std::pair{"/ftp.cfg", &ftpConfig}, {"/instant.cfg", &instantConfig},
                                     {"/register.cfg", &registerConfig}})
      std::ofstream(dir + file) << *text;

    transfer::UploadQueue up;
    transfer::UploadContext uc;
    uc.mainHost = main;
    uc.ftpHost = ftp;
    uc.account = "demo";
    uc.userId = reply->userId;
    if (const std::size_t colon = ftpUserPassword.find(':'); colon != std::string::npos) {
      uc.ftpUser = ftpUserPassword.substr(0, colon);
      uc.ftpPassword = ftpUserPassword.substr(colon + 1);
    }
    uc.currentFolder = [] { return 0; };
    up.setContext(uc);
    for (int i = 0; i < count; ++i) up.add(dir + "/up/small-" + std::to_string(i) + ".bin");
    auto began = std::chrono::steady_clock::now();
    up.start();
    up.waitIdle(600000);
    const double oursUp = seconds(began);
    const std::size_t sent = up.finished().size();
    std::vector<std::string> upFiles;
    for (int i = 0; i < count; ++i) upFiles.push_back(dir + "/up/small-" + std::to_string(i) + ".bin");
    const double engineFtpOnly = ftpEngineAlone(upFiles, ftp, uc.ftpUser, uc.ftpPassword);
    const double curlFtpOnly = bestOfThree("curl -s" + curlFtpUser + " -T '{" + names + "}' ftp://" + ftp + "/");
    const double curlUp = runShell(md5Command + " >/dev/null && curl -s -K " + dir + "/instant.cfg && curl -s" +
                                   curlFtpUser + " -K " + dir + "/ftp.cfg && curl -s -K " + dir + "/register.cfg");
    const std::size_t curlRegistered =
        column(data + "/tarnwick.db", "SELECT id FROM files WHERE name LIKE 'curl-small-%'").size();

    transfer::DownloadQueue down;
    transfer::DownloadContext dc;
    dc.mainHost = main;
    const std::string storage = storageOverride && *storageOverride ? std::string(storageOverride) : main;
    dc.storageHost = storage;
    dc.saveFolder = dir + "/down";
    down.setContext(dc);
    // curl's two ways down: every stored file over one kept-alive connection,
    // and the queue's own requests (the address page over HTTP/1.0, then the
    // file with "Connection: close"), a new connection for each.
    std::string urls, sameRequests;
    for (const transfer::QueueRow& r : up.finished()) {
      down.add(std::to_string(r.remoteId), r.name, "");
      for (const std::string& path : column(data + "/tarnwick.db", "SELECT storage FROM files WHERE id=" +
                                                                       std::to_string(r.remoteId))) {
        urls += " -o /dev/null " + storage + "/up/" + path;
        sameRequests += std::string(sameRequests.empty() ? "" : "next\n") + "url = \"" +
                        transfer::addressPageUrl(main, std::to_string(r.remoteId), "") +
                        "\"\nhttp1.0\noutput = /dev/null\nnext\nurl = \"" + storage + "/up/" + path +
                        "\"\nheader = \"Connection: close\"\noutput = /dev/null\n";
      }
    }
    std::ofstream(dir + "/down.cfg") << sameRequests;
    began = std::chrono::steady_clock::now();
    down.start();
    down.waitIdle(600000);
    const double oursDown = seconds(began);
    const std::size_t got = down.finished().size();
    const double curlDown = bestOfThree("curl -s" + urls);
    const double curlDownSame = bestOfThree("curl -s -K " + dir + "/down.cfg");

    std::printf("small files up: ours %.2f s, curl %.2f s, ratio %.2f (%zu of %d sent, curl registered %zu)\n",
                oursUp, curlUp, oursUp / curlUp, sent, count, curlRegistered);
    std::printf("  FTP alone: curl -T %.2f s (the queue against it: ratio %.2f); the engine over one session %.2f s "
                "(ratio %.2f)\n",
                curlFtpOnly, oursUp / curlFtpOnly, engineFtpOnly, engineFtpOnly / curlFtpOnly);
    std::printf("small files down: ours %.2f s, curl %.2f s, ratio %.2f (%zu of %zu arrived)\n", oursDown,
                curlDown, oursDown / curlDown, got, sent);
    std::printf("  the same requests (new connection each): curl %.2f s (ours against it: ratio %.2f)\n",
                curlDownSame, oursDown / curlDownSame);
    rc = oursUp <= 1.5 * curlUp && oursDown <= 1.5 * curlDown && sent == static_cast<std::size_t>(count) &&
                 got == sent
             ? 0
             : 2;
  } while (false);
  std::system((TARNWICK_SOURCE_DIR "/tests/fixtures/service_down.sh " + service).c_str());
  if (!(fixedDir && *fixedDir)) fs::remove_all(dir);
  return rc;
}
