#pragma once
// Streaming copy of a local file (the temporary copy an upload sends):
// blocks through the kernel, never the whole file in memory, 64-bit sizes.

#include <cstdint>
#include <string>

namespace tarnwick::transfer {

// Copies source to target (created or overwritten). Returns the number of
// bytes copied, or -1 with error filled in; a failed copy leaves no target.
std::int64_t copyFileStreaming(const std::string& source, const std::string& target,
                               std::string* error = nullptr);

}  // namespace tarnwick::transfer
