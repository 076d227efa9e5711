#pragma once
// Files of qqdemo's default folder (a member whose listings no other test
// reads, and without an access password) put into the local service's
// database by hand, for the download tests.
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <sqlite3.h>

#include <string>

namespace download_test {

inline QString serviceData() { return qEnvironmentVariable("TARNWICK_SERVICE_DATA"); }

// Adds the file row (its stored bytes written, and their MD5 recorded, when
// bytes are given) and returns its id; -1 when it could not be added.
inline int addServiceFile(const std::string& name, const std::string& storage, const QByteArray* bytes) {
  std::string md5;
  if (bytes) {
    const QString path = serviceData() + "/storage/" + QString::fromStdString(storage);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(*bytes) != bytes->size()) return -1;
    md5 = QCryptographicHash::hash(*bytes, QCryptographicHash::Md5).toHex().toStdString();
  }
  sqlite3* db = nullptr;
  const std::string dbPath = (serviceData() + "/tarnwick.db").toStdString();
  if (sqlite3_open(dbPath.c_str(), &db) != SQLITE_OK) return -1;
  sqlite3_busy_timeout(db, 5000);
  sqlite3_stmt* st = nullptr;
  int id = -1;
  if (sqlite3_prepare_v2(db,
                         "INSERT INTO files(owner, folder, name, size, md5, date, downloads, storage) "
                         "VALUES (1003, 0, ?, ?, ?, '2026-01-01 00:00:00', 0, ?)",
                         -1, &st, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(st, 2, bytes ? bytes->size() : 1000);
    sqlite3_bind_text(st, 3, md5.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 4, storage.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) == SQLITE_DONE) id = static_cast<int>(sqlite3_last_insert_rowid(db));
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return id;
}

}  // namespace download_test
