// Start-up time: from the start of a new client process to the login window
// being shown, offscreen. The program starts itself as the client (the same
// start routine as the tarnwick program, plus a watcher that reports when the
// login window is shown and then closes it, which ends the client). A local
// HTTP server stands in for the service's main host.
//
//   bench_startup [runs]     (default 10; prints first run, min, median, max)
#include <httplib.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/qt/shell.h"
#include "app/qt/start.h"

extern char** environ;

namespace {

class ShownWatcher : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      std::fputs("shown\n", stdout);
      std::fflush(stdout);
      auto* w = static_cast<QWidget*>(watched);
      QTimer::singleShot(0, w, [w] { w->close(); });
    }
    return false;
  }
};

int runClient(int argc, char** argv) {
  tarnwick::app::prepareApplication();
  QApplication app(argc, argv);
  static ShownWatcher watcher;
  tarnwick::app::addWindowInstaller(QStringLiteral("Tarnwick登录"),
                                    [](QWidget* login) { login->installEventFilter(&watcher); });
  return tarnwick::app::startClient();
}

// Milliseconds from spawning the client to its "shown" line; -1 on failure.
double timeOneStart(const char* self) {
  int out[2];
  if (::pipe(out) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  char* args[] = {const_cast<char*>(self), const_cast<char*>("--client"), nullptr};
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, self, &actions, nullptr, args, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (rc != 0) {
    ::close(out[0]);
    return -1;
  }
  std::string got;
  char buf[256];
  double ms = -1;
  while (ms < 0) {
    const ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
    if (got.find("shown\n") != std::string::npos)
      ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  }
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--client") == 0) return runClient(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

  httplib::Server server;
  server.Get(R"(.*)", [](const httplib::Request&, httplib::Response& res) { res.set_content("118|", "text/plain"); });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { server.listen_after_bind(); });
  const std::string host = "http://127.0.0.1:" + std::to_string(port);
  for (const char* var : {"TARNWICK_MAIN_HOST", "TARNWICK_DIRECT_LINK_HOST", "TARNWICK_STORAGE_HOST",
                          "TARNWICK_WEB_UPLOAD_HOST"})
    ::setenv(var, host.c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);

  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const double ms = timeOneStart(argv[0]);
    if (ms < 0) {
      std::fprintf(stderr, "run %d: the client did not show the login window\n", i + 1);
      server.stop();
      serving.join();
      return 1;
    }
    times.push_back(ms);
  }
  server.stop();
  serving.join();
  const double first = times.front();
  std::sort(times.begin(), times.end());
  std::printf("process start to login window shown (offscreen), %d runs:\n", runs);
  std::printf("  first %.0f ms  min %.0f ms  median %.0f ms  max %.0f ms\n", first, times.front(),
              times[times.size() / 2], times.back());
  return 0;
}
