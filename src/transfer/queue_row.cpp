#include "transfer/queue_row.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace tarnwick::transfer {
namespace {

constexpr const char* kHeader = "tarnwick-queue 1";

}  // namespace

const char* rowStateName(RowState s) {
  switch (s) {
    case RowState::Queued: return "queued";
    case RowState::Running: return "running";
    case RowState::Waiting: return "waiting";
    case RowState::Held: return "held";
    case RowState::Failed: return "failed";
    case RowState::Done: return "done";
  }
  return "queued";
}

namespace {

std::optional<RowState> stateFrom(const std::string& s) {
  if (s == "paused") return RowState::Queued;  // written by earlier versions
  for (RowState st : {RowState::Queued, RowState::Running, RowState::Waiting, RowState::Held, RowState::Failed,
                      RowState::Done})
    if (s == rowStateName(st)) return st;
  return std::nullopt;
}

// Every byte that could break a line or a field is written as %XX.
std::string escape(const std::string& v) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : v) {
    if (c < 0x20 || c == '%' || c == '=' || c == 0x7f) {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> unescape(const std::string& v) {
  std::string out;
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (v[i] != '%') {
      out += v[i];
      continue;
    }
    if (v.size() - i < 3) return std::nullopt;
    const int hi = hexDigit(v[i + 1]), lo = hexDigit(v[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}

std::optional<std::int64_t> number(const std::string& s) {
  if (s.empty()) return std::nullopt;
  try {
    std::size_t used = 0;
    const long long v = std::stoll(s, &used);
    if (used != s.size()) return std::nullopt;
    return v;
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace

FileStamp stampOf(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return {true, static_cast<std::int64_t>(st.st_size),
          static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

std::string encodeRow(const QueueRow& r) {
  std::ostringstream o;
  auto field = [&](const char* key, const std::string& value) { o << key << '=' << escape(value) << '\t'; };
  field("id", std::to_string(r.id));
  field("account", r.account);
  field("state", rowStateName(r.state));
  field("reason", r.reason);
  field("local", r.localPath);
  field("name", r.name);
  if (r.folderId) field("folder", std::to_string(*r.folderId));
  field("file", r.fileId);
  field("sizetext", r.sizeText);
  field("save", r.saveFolder);
  field("partial", r.partial.path);
  field("partsize", std::to_string(r.partial.size));
  field("partmtime", std::to_string(r.partial.mtimeNs));
  field("total", std::to_string(r.partial.serverTotal));
  field("unregistered", std::to_string(static_cast<int>(r.pending)));
  field("before", std::to_string(r.newestIdBefore));
  field("sentat", std::to_string(r.sentAtMs));
  field("ftp", r.ftpHost);
  field("ftpuser", r.ftpUser);
  field("rule", std::to_string(static_cast<int>(r.rule)));
  field("complete", r.bodyComplete ? "1" : "0");
  field("broken", std::to_string(r.brokenTries));
  if (r.kind != RowKind::File) field("kind", std::to_string(static_cast<int>(r.kind)));
  if (r.after) field("after", std::to_string(r.after));
  if (r.tree) field("tree", std::to_string(r.tree));
  if (!r.treePath.empty()) field("treepath", r.treePath);
  if (r.remoteId) field("remote", std::to_string(r.remoteId));
  std::string line = o.str();
  line.pop_back();
  return line;
}

std::optional<QueueRow> decodeRow(const std::string& line) {
  std::map<std::string, std::string> f;
  std::size_t start = 0;
  while (start <= line.size()) {
    std::size_t tab = line.find('\t', start);
    if (tab == std::string::npos) tab = line.size();
    const std::string item = line.substr(start, tab - start);
    const std::size_t eq = item.find('=');
    if (eq == std::string::npos) return std::nullopt;
    auto value = unescape(item.substr(eq + 1));
    if (!value) return std::nullopt;
    f[item.substr(0, eq)] = *value;
    start = tab + 1;
  }
  QueueRow r;
  auto id = number(f["id"]);
  auto state = stateFrom(f["state"]);
  if (!id || *id == 0 || !state) return std::nullopt;
  r.id = static_cast<std::uint64_t>(*id);
  r.state = *state;
  r.account = f["account"];
  r.reason = f["reason"];
  r.localPath = f["local"];
  r.name = f["name"];
  if (auto folder = number(f["folder"])) r.folderId = static_cast<std::int32_t>(*folder);
  r.fileId = f["file"];
  r.sizeText = f["sizetext"];
  r.saveFolder = f["save"];
  r.partial.path = f["partial"];
  r.partial.size = number(f["partsize"]).value_or(-1);
  r.partial.mtimeNs = number(f["partmtime"]).value_or(0);
  r.partial.serverTotal = number(f["total"]).value_or(-1);
  const auto pending = number(f["unregistered"]).value_or(0);
  if (pending < 0 || pending > 3) return std::nullopt;
  r.pending = static_cast<Pending>(pending);
  r.newestIdBefore = number(f["before"]).value_or(0);
  r.sentAtMs = number(f["sentat"]).value_or(0);
  r.ftpHost = f["ftp"];
  r.ftpUser = f["ftpuser"];
  const auto rule = number(f["rule"]).value_or(0);
  if (rule < -1 || rule > 1) return std::nullopt;
  r.rule = static_cast<NameRule>(rule);
  r.bodyComplete = f["complete"] == "1";
  r.brokenTries = static_cast<int>(number(f["broken"]).value_or(0));
  const auto kind = number(f["kind"]).value_or(0);
  if (kind < 0 || kind > 2) return std::nullopt;
  r.kind = static_cast<RowKind>(kind);
  r.after = static_cast<std::uint64_t>(number(f["after"]).value_or(0));
  r.tree = static_cast<std::uint64_t>(number(f["tree"]).value_or(0));
  r.treePath = f["treepath"];
  r.remoteId = number(f["remote"]).value_or(0);
  return r;
}

std::vector<QueueRow> loadRows(const std::string& path) { return readSavedFile(path).rows; }

SavedFile readSavedFile(const std::string& path) {
  SavedFile out;
  std::ifstream in(path, std::ios::binary);
  if (!in) return out;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Lines end in LF, CRLF or a lone CR (a raw CR inside a value is never
  // written: it is %0D).
  std::vector<std::string> lines;
  bool lastCut = false;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      lastCut = true;
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  if (lines.empty() || lines[0] != kHeader) {
    if (!text.empty()) out.problems.push_back(path + ": not a saved queue");
    return out;
  }
  out.found = true;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    const std::string where = path + " line " + std::to_string(i + 1);
    if (i + 1 == lines.size() && lastCut) {
      out.problems.push_back(where + ": cut short, not taken");
      continue;
    }
    if (auto row = decodeRow(lines[i]))
      out.rows.push_back(std::move(*row));
    else
      out.problems.push_back(where + ": cannot be read, not taken");
  }
  return out;
}

void queueAgain(QueueRow& row) {
  row.state = RowState::Queued;
  row.reason.clear();
  row.brokenTries = 0;
  row.brokenOff = false;
  row.localFault = false;
}

std::string checkRow(const QueueRow& r, bool download) {
  const auto normalFolder = [](const std::string& f) {
    return f.size() >= 1 && f.front() == '/' && f.back() == '/' && f.find('\0') == std::string::npos &&
           std::filesystem::path(f).lexically_normal().string() == f;
  };
  if (r.id == 0) return "no row id";
  if (r.kind == RowKind::MakeFolder && download) return "a folder to make in the download queue";
  if (r.kind == RowKind::ExpandFolder && !download) return "a cloud folder to walk in the upload queue";
  if (r.kind == RowKind::MakeFolder) return r.name.empty() ? "folder to make without a name" : "";
  if (!download) {
    if (r.localPath.empty() || r.localPath.front() != '/') return "upload without an absolute local path";
    if (r.name.empty()) return "upload without a file name";
    return {};
  }
  if (r.fileId.empty() || r.fileId.size() > 20 || r.fileId.find_first_not_of("0123456789") != std::string::npos)
    return "download without a numeric file id";
  if (!r.saveFolder.empty() && !normalFolder(r.saveFolder))
    return "download save folder is not an absolute normalised folder: " + r.saveFolder;
  if (!r.partial.path.empty()) {
    const std::string& p = r.partial.path;
    const bool inside = !r.saveFolder.empty() && p.size() > r.saveFolder.size() &&
                        p.compare(0, r.saveFolder.size(), r.saveFolder) == 0 &&
                        p.find('/', r.saveFolder.size()) == std::string::npos && p.size() > 9 &&
                        p.compare(p.size() - 9, 9, ".tnwkpart") == 0;
    if (!inside) return "download partial file outside its save folder: " + p;
  }
  return {};
}

}  // namespace tarnwick::transfer
