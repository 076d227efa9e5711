#pragma once
// A local file opened for streaming: 64-bit sizes and offsets, blocks read
// and written at explicit positions, never the whole file in memory.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnwick::transfer {

class LocalFile {
public:
  enum class Mode { Read, Write };  // Write: create when missing, never truncate on open

  LocalFile() = default;
  ~LocalFile();
  LocalFile(const LocalFile&) = delete;
  LocalFile& operator=(const LocalFile&) = delete;

  bool open(const std::string& path, Mode mode);
  void close();
  bool isOpen() const { return m_fd >= 0; }
  const std::string& error() const { return m_error; }

  // Size in bytes, -1 on error.
  std::int64_t size() const;
  // Size and modification time (nanoseconds) of the open file: what tells a
  // file that was written to from one that was not; -1 in both when it
  // cannot be read.
  struct Stamp {
    std::int64_t size = -1;
    std::int64_t modifiedNs = -1;
    bool operator==(const Stamp&) const = default;
  };
  Stamp stamp() const;
  // Reads up to n bytes at offset; returns the count (0 at the end), -1 on error.
  std::int64_t readAt(std::int64_t offset, char* buf, std::size_t n);
  // Writes all n bytes at offset; false on error.
  bool writeAt(std::int64_t offset, const char* buf, std::size_t n);
  bool truncate(std::int64_t length);
  // Tells the kernel the file is read front to back (larger read-ahead).
  void adviseSequential();

  // Size of the file at path, -1 when it does not exist or cannot be read.
  static std::int64_t sizeOf(const std::string& path);

private:
  void setErrno(const char* what);
  int m_fd = -1;
  std::string m_path;
  std::string m_error;
};

}  // namespace tarnwick::transfer
