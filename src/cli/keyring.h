#pragma once
// The Secret Service keyring through libsecret's C API: one secret per
// account under the service name "Tarnwick Desktop" (attributes "service"
// and "account"). Every call reports "no keyring" (false / nullopt) when the
// program was built without libsecret, no session bus is set, or the
// keyring does not answer.

#include <optional>
#include <string>

namespace tarnwick::cli::keyring {

inline constexpr const char* kServiceName = "Tarnwick Desktop";

bool store(const std::string& accountUtf8, const std::string& secret);
std::optional<std::string> lookup(const std::string& accountUtf8);
void remove(const std::string& accountUtf8);

}  // namespace tarnwick::cli::keyring
