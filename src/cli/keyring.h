#pragma once
// The Secret Service keyring through libsecret's C API: the session of an
// account as an item of the desktop client's schema and service
// (app/keyring_names.h) under the key kKeyPrefix + account. Every call reports "no keyring" (false / nullopt) when the
// program was built without libsecret, no session bus is set, or the
// keyring does not answer.

#include <optional>
#include <string>

namespace tarnwick::cli::keyring {

inline constexpr const char* kKeyPrefix = "cli-session:";

bool store(const std::string& accountUtf8, const std::string& secret);
std::optional<std::string> lookup(const std::string& accountUtf8);
void remove(const std::string& accountUtf8);

}  // namespace tarnwick::cli::keyring
