#pragma once
// Names of the client's secrets in the desktop's Secret Service keyring.
// The desktop client writes through QtKeychain, which stores each secret as
// an item of the libsecret schema below; a program that talks to libsecret
// directly finds (or writes) the same items with these names.
//
//   schema      "org.qt.keychain"
//   attributes  "server" = kService
//               "user"   = the key (for the remembered login: the account, UTF-8)
//               "type"   = "plaintext" (the secret is UTF-8 text)
//
// The remembered login password uses the bare account name as its key; any
// other secret kept under this service needs a key that no account name can
// take, so the two never overwrite each other.

namespace tarnwick::app::keyring {

inline constexpr char kService[] = "Tarnwick Desktop";
inline constexpr char kSchema[] = "org.qt.keychain";
inline constexpr char kServiceAttribute[] = "server";
inline constexpr char kKeyAttribute[] = "user";
inline constexpr char kTypeAttribute[] = "type";
inline constexpr char kTextType[] = "plaintext";

}  // namespace tarnwick::app::keyring
