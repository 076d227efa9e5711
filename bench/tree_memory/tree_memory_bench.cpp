// A tree of 10,000 files in 100 folders (default; tree_memory_bench
// [folders [files per folder]]) moved up and back down whole through each
// front end, against a service of its own:
//   the windows: the folder handed to 客户端上传 as a drop or 选择文件夹 hands
//     it, 上传按钮, and when all is up the cloud folder queued for download
//     and 开始下载 (offscreen, the lists shown all the while);
//   the command line (first): tarnwick-cli put -r, then get -r, as child
//     processes.
// Prints, for each front end and direction, the peak resident memory above
// the idle figure (the windows: logged in and shown; the command line: the
// peak of a `ls`), the time until the tree's rows were queued and until the
// first file was finished, and the whole run; for the windows also the GUI
// thread's longest stall (2 ms ticker) and the event handled meanwhile.
// TREE_MEMORY_WINDOWS_ONLY=1 leaves the command line's runs out.
// Exit code 0 when every file went up and came back byte-exact and each
// peak is at most 100 MiB above idle, else 2.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QTreeWidget>

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/names/main_window.h"
#include "app/qt/main_window.h"
#include "app/qt/shell.h"
#include "app/session.h"
#include "transfer/qt/transfer_queues.h"
#include "transfer/qt/upload_folders.h"
#include "transfer/qt/upload_page.h"
#include "../bench_support.h"
#include "../plain_support.h"

using namespace tarnwick;
namespace fs = std::filesystem;

namespace {

using bench::filesUnder;
using bench::resetPeak;
using bench::statusKiB;

constexpr long kGoalKiB = 100 * 1024;
constexpr qint64 kRunLimitMs = 15 * 60 * 1000;

// The first column of the first row of sql ("" when none).
std::string firstColumn(const std::string& db, const std::string& sql) {
  const std::vector<std::string> rows = bench::column(db, sql);
  return rows.empty() ? std::string() : rows.front();
}

// folders × files of a few bytes each, every file's bytes its own path (an
// instant upload cannot take one for another).
void makeTree(const fs::path& root, int folders, int perFolder) {
  for (int f = 0; f < folders; ++f) {
    const fs::path folder = root / ("m" + std::to_string(f));
    fs::create_directories(folder);
    for (int i = 0; i < perFolder; ++i) {
      const fs::path file = folder / ("g" + std::to_string(i) + ".txt");
      std::ofstream(file, std::ios::binary) << file.string();
    }
  }
}

// Sockets in TIME_WAIT on this machine. Every FTP upload leaves one (the
// sender closes the data connection to end the file), every closed HTTP
// request too: 10,000 files each way over loopback use up the local ports
// for a minute, so each front end starts once they have drained.
int timeWaits() {
  int n = 0;
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::ifstream in(table);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      std::string slot, local, remote, state;
      if (fields >> slot >> local >> remote >> state && state == "06") ++n;
    }
  }
  return n;
}

// Waits with the event loop turning: the service's output comes to this
// process through a pipe, and a service whose pipe is full stops answering.
void waitTurning(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10), ::usleep(5000);
}

void drainTimeWaits() {
  for (int i = 0; i < 90 && timeWaits() > 2000; ++i) waitTurning(1000);
}

struct Child {
  int status = -1;
  long maxRssKiB = 0;
  double seconds = 0;
};

long childHwmKiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

// Runs argv with input on its standard input, its output to /dev/null and its
// errors to errorFile when given. The peak resident size is read from the
// child's own VmHWM while it runs (every 10 ms): wait4's ru_maxrss would
// count this process's size, which the child had between fork and exec.
Child runChild(const std::vector<std::string>& args, const std::string& input = "", const std::string& errorFile = "") {
  Child c;
  int in[2];
  if (::pipe(in) != 0) return c;
  QElapsedTimer clock;
  clock.start();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::close(in[0]);
    ::close(in[1]);
    if (std::FILE* null = std::fopen("/dev/null", "w")) ::dup2(fileno(null), 1);
    if (!errorFile.empty())
      if (std::FILE* err = std::fopen(errorFile.c_str(), "w")) ::dup2(fileno(err), 2);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(in[0]);
  if (!input.empty() && ::write(in[1], input.data(), input.size()) < 0) std::perror("write");
  ::close(in[1]);
  if (pid <= 0) return c;
  // Sampled only once the child runs the program (before the exec its
  // figures are this process's).
  std::error_code ec;
  const fs::path program = fs::canonical(args[0], ec), exe = "/proc/" + std::to_string(pid) + "/exe";
  while (::waitpid(pid, &c.status, WNOHANG) == 0) {
    if (fs::read_symlink(exe, ec) == program) c.maxRssKiB = std::max(c.maxRssKiB, childHwmKiB(pid));
    waitTurning(10);
  }
  c.seconds = clock.nsecsElapsed() / 1e9;
  return c;
}

// The file rows of the queue's trees (without copying its rows: the checks
// of the loop must not load the GUI thread they measure).
int treeFiles(const transfer::TransferQueue& queue) {
  int n = 0;
  for (const transfer::TreeSummary& t : queue.trees()) n += t.files;
  return n;
}

struct Figures {
  long peakAboveIdleKiB = 0;
  double queuedS = -1, firstDoneS = -1, wholeS = -1;
  // The GUI thread's longest stall until the rows were queued, in the first
  // second after (the lists take the rows in), and for the rest of the run.
  double queuingStallMs = 0, firstSecondStallMs = 0, stallMs = 0;
  std::string queuingStallEvent, firstSecondEvent, stallEvent;
};

void print(const char* what, const Figures& f) {
  std::printf("%s: +%.1f MiB above idle at its peak (goal <= 100), rows queued after %.2f s, first file done after "
              "%.2f s, all in %.1f s",
              what, f.peakAboveIdleKiB / 1024.0, f.queuedS, f.firstDoneS, f.wholeS);
  if (f.stallMs > 0)
    std::printf("\n  longest GUI-thread stall while queuing %.1f ms (%s), in the first second of the run %.1f ms "
                "(%s), after it %.1f ms (%s)",
                f.queuingStallMs, f.queuingStallEvent.c_str(), f.firstSecondStallMs, f.firstSecondEvent.c_str(),
                f.stallMs, f.stallEvent.c_str());
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  bench::TracingApplication app(argc, argv);
  const int folders = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
  const int perFolder = argc > 2 ? std::max(1, std::atoi(argv[2])) : 100;
  const int files = folders * perFolder;
  QTemporaryDir data, work;
  QProcess service;
  if (bench::startLocalService(service, data.path()).http.isEmpty()) return 1;
  const std::string db = (data.path() + "/tarnwick.db").toStdString();
  const fs::path root = work.path().toStdString();
  int rc = 2;
  do {
    makeTree(root / "up" / "many", folders, perFolder);
    makeTree(root / "up" / "cli", folders, perFolder);
    fs::create_directories(root / "down");

    // The command line first: its login ends the session of the windows'
    // login (one session per member), the windows' login ends its.
    const std::string cli = TARNWICK_CLI_PATH;
    const bool cliToo = !std::getenv("TREE_MEMORY_WINDOWS_ONLY");
    ::setenv("XDG_STATE_HOME", (root / "cli-state").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root / "cli-config").c_str(), 1);
    const Child login = runChild({cli, "login", "demo", "--password-stdin"}, "demo123\n");
    const Child cliIdle = runChild({cli, "ls"});
    drainTimeWaits();
    const std::string putErrors = (root / "put.err").string(), getErrors = (root / "get.err").string();
    const Child put = cliToo ? runChild({cli, "--quiet", "put", "-r", (root / "up" / "cli").string(), "--folder", "0"},
                                        "", putErrors)
                             : Child{0};
    const std::string cliId = firstColumn(db, "SELECT id FROM folders WHERE name='cli' AND parent=0");
    drainTimeWaits();
    const Child get = cliToo ? runChild({cli, "--quiet", "get", "-r", cliId.empty() ? "-1" : cliId, "-o",
                                         (root / "down").string()},
                                        "", getErrors)
                             : Child{0};
    const bool cliEqual = !cliToo || filesUnder(root / "down" / "cli") == filesUnder(root / "up" / "cli");


    drainTimeWaits();
    if (!bench::loginDemo()) break;

    app::registerModules();
    app::MainWindow main;
    app::runWindowInstallers(&main);
    main.show();
    auto* saveFolder = app::control<QLineEdit>(&main, app::names::main::kSaveFolderBox);
    saveFolder->setText(QString::fromStdString((root / "down").string() + "/"));
    Q_EMIT saveFolder->editingFinished();
    auto* upButton = app::control<QPushButton>(&main, app::names::main::kUploadButton);
    auto* upFinished = app::control<QTreeWidget>(&main, app::names::main::kUploadDoneView);
    auto* downButton = app::control<QPushButton>(&main, app::names::main::kStartDownloadButton);
    auto* downFinished = app::control<QTreeWidget>(&main, app::names::main::kDownloadedView);
    auto* upList = app::control<QTreeView>(&main, app::names::main::kUploadQueueView);
    auto* downList = app::control<QTreeView>(&main, app::names::main::kDownloadQueueView);
    auto* page = transfer::qt::UploadPage::of(&main);
    transfer::DownloadQueue& downloads = transfer::qt::TransferQueues::of(&main)->downloads();
    for (QElapsedTimer settle; !settle.isValid() || settle.elapsed() < 500;) {
      if (!settle.isValid()) settle.start();
      app.processEvents(QEventLoop::AllEvents, 20);
    }
    const long idle = statusKiB("VmRSS:");
    bench::StallMeter meter;

    // Runs until done() with the event loop turning; the figures of the run.
    const auto measure = [&](const std::function<void()>& begin, const std::function<bool()>& queued,
                             const std::function<bool()>& firstDone, const std::function<void()>& go,
                             const std::function<bool()>& done) {
      Figures f;
      resetPeak();
      meter.start();
      app.resetTrace();
      QElapsedTimer clock;
      clock.start();
      begin();
      while (!queued() && clock.elapsed() < kRunLimitMs) app.processEvents(QEventLoop::WaitForMoreEvents, 5);
      f.queuedS = clock.nsecsElapsed() / 1e9;
      f.queuingStallMs = meter.worstMs();
      f.queuingStallEvent = app.worstEvent();
      meter.reset();
      app.resetTrace();
      go();
      const qint64 went = clock.elapsed();
      bool settled = false;
      while (!done() && clock.elapsed() < kRunLimitMs) {
        app.processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (f.firstDoneS < 0 && firstDone()) f.firstDoneS = clock.nsecsElapsed() / 1e9;
        if (!settled && clock.elapsed() - went > 1000) {  // the lists have taken the rows in
          settled = true;
          f.firstSecondStallMs = meter.worstMs();
          f.firstSecondEvent = app.worstEvent();
          meter.reset();
          app.resetTrace();
        }
      }
      f.wholeS = clock.nsecsElapsed() / 1e9;
      meter.stop();
      f.stallMs = meter.worstMs();
      f.stallEvent = app.worstEvent();
      f.peakAboveIdleKiB = statusKiB("VmHWM:") - idle;
      return f;
    };

    const Figures windowsUp = measure(
        [&] { transfer::qt::uploadFolders(&main, page, {QString::fromStdString((root / "up" / "many").string())}); },
        [&] { return treeFiles(page->queue()) >= files; },
        [&] { return upFinished->topLevelItemCount() > 0; }, [&] { upButton->click(); },
        [&] { return upList->model()->rowCount() == 0 && upButton->isEnabled(); });
    const std::string manyId = firstColumn(db, "SELECT id FROM folders WHERE name='many' AND parent=0");
    const std::string sentUp = firstColumn(
        db, "SELECT count(*) FROM files WHERE folder IN (SELECT id FROM folders WHERE parent=" + manyId + ")");

    drainTimeWaits();
    const Figures windowsDown = measure(
        [&] {
          downloads.addFolder(std::stoi(manyId.empty() ? "0" : manyId), "many");
          downButton->click();
        },
        // The walk's row replaced by the rows of its files.
        [&] { return treeFiles(downloads) >= files || downFinished->topLevelItemCount() > 0; },
        [&] { return downFinished->topLevelItemCount() > 0; }, [] {},
        [&] { return downList->model()->rowCount() == 0 && downFinished->topLevelItemCount() > 0; });
    const bool windowsEqual = filesUnder(root / "down" / "many") == filesUnder(root / "up" / "many");

    print("windows, up", windowsUp);
    std::printf("  %s of %d files stored\n", sentUp.c_str(), files);
    print("windows, down", windowsDown);
    std::printf("  %s\n", windowsEqual ? "the tree came back equal" : "THE TREE DIFFERS");
    const auto cliLine = [&](const char* what, const Child& c, const std::string& errors) {
      std::printf("command line, %s: exit %d, peak %.1f MiB, +%.1f MiB above a `ls` (goal <= 100), all in %.1f s\n",
                  what, WIFEXITED(c.status) ? WEXITSTATUS(c.status) : -1, c.maxRssKiB / 1024.0,
                  (c.maxRssKiB - cliIdle.maxRssKiB) / 1024.0, c.seconds);
      std::ifstream in(errors);
      std::string first;
      int lines = 0;
      for (std::string line; std::getline(in, line); ++lines)
        if (first.empty()) first = line;
      if (lines) std::printf("  %d lines on stderr, the first: %s\n", lines, first.c_str());
    };
    cliLine("put -r", put, putErrors);
    cliLine("get -r", get, getErrors);
    std::printf("  %s\n", cliEqual ? "the tree came back equal" : "THE TREE DIFFERS");
    const bool cliOk = login.status == 0 && cliIdle.status == 0 && put.status == 0 && get.status == 0;
    if (!cliOk) std::printf("  a command failed: login %d, ls %d\n", login.status, cliIdle.status);
    const bool small = windowsUp.peakAboveIdleKiB <= kGoalKiB && windowsDown.peakAboveIdleKiB <= kGoalKiB &&
                       put.maxRssKiB - cliIdle.maxRssKiB <= kGoalKiB && get.maxRssKiB - cliIdle.maxRssKiB <= kGoalKiB;
    rc = sentUp == std::to_string(files) && windowsEqual && cliEqual && cliOk && small ? 0 : 2;
    transfer::qt::TransferQueues::of(&main)->uploads().stop();
    downloads.stop();
  } while (false);
  service.terminate();
  service.waitForFinished(10000);
  return rc;
}
