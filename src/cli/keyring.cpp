#include "cli/keyring.h"

#include <cstdlib>

#include "app/keyring_names.h"

#ifdef TARNWICK_HAVE_LIBSECRET
#include <libsecret/secret.h>
#endif

namespace tarnwick::cli::keyring {

#ifdef TARNWICK_HAVE_LIBSECRET
namespace {

namespace names = app::keyring;

// The desktop client's schema (QtKeychain's items), so one keyring entry
// list shows both programs' secrets; the key "cli-session:" + account cannot
// be an account name (no ":" in those), so the session never overwrites a
// remembered password.
const SecretSchema* schema() {
  static const SecretSchema s = {names::kSchema,
                                 SECRET_SCHEMA_DONT_MATCH_NAME,
                                 {{names::kServiceAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                  {names::kKeyAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                  {names::kTypeAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                  {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  return &s;
}

std::string keyOf(const std::string& account) { return std::string(kKeyPrefix) + account; }

// Without a session bus libsecret would try to start one (and wait for it).
bool busPresent() {
  const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  return bus && *bus;
}

}  // namespace

bool store(const std::string& account, const std::string& secret) {
  if (!busPresent()) return false;
  GError* error = nullptr;
  const std::string label = std::string(names::kService) + " session of " + account;
  const gboolean ok = secret_password_store_sync(schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), secret.c_str(),
                                                 nullptr, &error, names::kServiceAttribute, names::kService,
                                                 names::kKeyAttribute, keyOf(account).c_str(), names::kTypeAttribute,
                                                 names::kTextType, nullptr);
  if (error) g_error_free(error);
  return ok;
}

std::optional<std::string> lookup(const std::string& account) {
  if (!busPresent()) return std::nullopt;
  GError* error = nullptr;
  gchar* found = secret_password_lookup_sync(schema(), nullptr, &error, names::kServiceAttribute, names::kService,
                                             names::kKeyAttribute, keyOf(account).c_str(), nullptr);
  if (error) g_error_free(error);
  if (!found) return std::nullopt;
  std::string out = found;
  secret_password_free(found);
  return out;
}

void remove(const std::string& account) {
  if (!busPresent()) return;
  GError* error = nullptr;
  secret_password_clear_sync(schema(), nullptr, &error, names::kServiceAttribute, names::kService,
                             names::kKeyAttribute, keyOf(account).c_str(), nullptr);
  if (error) g_error_free(error);
}

#else

bool store(const std::string&, const std::string&) { return false; }
std::optional<std::string> lookup(const std::string&) { return std::nullopt; }
void remove(const std::string&) {}

#endif

}  // namespace tarnwick::cli::keyring
