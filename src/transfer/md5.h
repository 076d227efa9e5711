#pragma once
// MD5 digests (RFC 1321) as 32 lower-case hexadecimal digits, the form the
// service's instant upload compares. Files are read in blocks, so memory
// stays flat whatever their size.

#include <atomic>
#include <string>
#include <string_view>

namespace tarnwick::transfer {

std::string md5OfBytes(std::string_view bytes);
// The digest of the file's content, or the empty text when it cannot be read
// (error, when given, then holds the reason). A set cancel flag ends the
// reading early with the empty text.
std::string md5OfFile(const std::string& path, std::string* error = nullptr,
                      const std::atomic<bool>* cancel = nullptr);

}  // namespace tarnwick::transfer
