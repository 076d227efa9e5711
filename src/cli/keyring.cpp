#include "cli/keyring.h"

#include <cstdlib>

#ifdef TARNWICK_HAVE_LIBSECRET
#include <libsecret/secret.h>
#endif

namespace tarnwick::cli::keyring {

#ifdef TARNWICK_HAVE_LIBSECRET
namespace {

// The secret is the command line's session, kept apart from the desktop
// client's own entries of the same service by its schema name.
const SecretSchema* schema() {
  static const SecretSchema s = {"org.tarnwick.Desktop.Session",
                                 SECRET_SCHEMA_NONE,
                                 {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                  {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                  {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  return &s;
}

// Without a session bus libsecret would try to start one (and wait for it).
bool busPresent() {
  const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  return bus && *bus;
}

}  // namespace

bool store(const std::string& account, const std::string& secret) {
  if (!busPresent()) return false;
  GError* error = nullptr;
  const std::string label = std::string(kServiceName) + " session of " + account;
  const gboolean ok = secret_password_store_sync(schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), secret.c_str(),
                                                 nullptr, &error, "service", kServiceName, "account",
                                                 account.c_str(), nullptr);
  if (error) g_error_free(error);
  return ok;
}

std::optional<std::string> lookup(const std::string& account) {
  if (!busPresent()) return std::nullopt;
  GError* error = nullptr;
  gchar* found = secret_password_lookup_sync(schema(), nullptr, &error, "service", kServiceName, "account",
                                             account.c_str(), nullptr);
  if (error) g_error_free(error);
  if (!found) return std::nullopt;
  std::string out = found;
  secret_password_free(found);
  return out;
}

void remove(const std::string& account) {
  if (!busPresent()) return;
  GError* error = nullptr;
  secret_password_clear_sync(schema(), nullptr, &error, "service", kServiceName, "account", account.c_str(),
                             nullptr);
  if (error) g_error_free(error);
}

#else

bool store(const std::string&, const std::string&) { return false; }
std::optional<std::string> lookup(const std::string&) { return std::nullopt; }
void remove(const std::string&) {}

#endif

}  // namespace tarnwick::cli::keyring
