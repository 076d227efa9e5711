// The link relay alone, in front of a running local service, for trying the
// client (window or command line) over a distant link by hand:
//
//   link_relay RTT_MS HTTP_HOST:PORT FTP_HOST:PORT [BYTES_PER_SECOND]
//
// prints the TARNWICK_* host variables that lead through it (eval them in a
// shell, or source them from a file) and relays until SIGINT or SIGTERM.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "link_relay.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s RTT_MS HTTP_HOST:PORT FTP_HOST:PORT [BYTES_PER_SECOND]\n", argv[0]);
    return 64;
  }
  std::string http = argv[2];
  if (http.rfind("http://", 0) == 0) http.erase(0, 7);
  tarnwick::bench::LinkRelay relay(
      {std::chrono::milliseconds(std::atoi(argv[1])), argc > 4 ? std::atoll(argv[4]) : 0});
  const int httpPort = relay.add(http);
  const int ftpPort = relay.add(argv[3], true);
  if (httpPort == 0 || ftpPort == 0) {
    std::fprintf(stderr, "cannot relay to %s and %s (IPv4 host:port)\n", argv[2], argv[3]);
    return 1;
  }
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // before the relay's thread starts
  relay.start();
  const std::string main = "http://127.0.0.1:" + std::to_string(httpPort);
  for (const char* name :
       {"TARNWICK_MAIN_HOST", "TARNWICK_DIRECT_LINK_HOST", "TARNWICK_STORAGE_HOST", "TARNWICK_WEB_UPLOAD_HOST"})
    std::printf("export %s=%s\n", name, main.c_str());
  std::printf("export TARNWICK_FTP_HOST=127.0.0.1:%d\n", ftpPort);
  std::fflush(stdout);
  int signal = 0;
  sigwait(&stopSignals, &signal);
  relay.stop();
  return 0;
}
