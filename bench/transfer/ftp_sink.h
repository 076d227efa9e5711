#pragma once
// A minimal FTP server on 127.0.0.1 that takes uploads (PASV + STOR) and
// counts the bytes instead of storing them, so a benchmark measures the
// client and not the server's disk or interpreter.

#include <atomic>
#include <cstdint>
#include <thread>

class FtpSink {
public:
  FtpSink();
  ~FtpSink();
  int port() const { return m_port; }
  std::int64_t lastUploadBytes() const { return m_last.load(); }

private:
  void serve();
  void session(int fd);
  int m_listen = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  std::atomic<std::int64_t> m_last{0};
  std::thread m_thread;
};
