#include "app/ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace tarnwick::app {

namespace {

std::string trimBlanks(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

bool sameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x < 0x80 && y < 0x80) {
      if (std::tolower(x) != std::tolower(y)) return false;
    } else if (x != y) {
      return false;
    }
  }
  return true;
}

std::vector<std::string> splitLines(const std::string& content) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t nl = content.find('\n', start);
    if (nl == std::string::npos) nl = content.size();
    std::string line = content.substr(start, nl - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = nl + 1;
  }
  return lines;
}

// "[name]" -> name; other lines -> nullopt-like empty flag.
bool sectionName(const std::string& line, std::string& name) {
  const std::string t = trimBlanks(line);
  if (t.size() < 2 || t.front() != '[') return false;
  const std::size_t close = t.find(']');
  if (close == std::string::npos) return false;
  name = trimBlanks(t.substr(1, close - 1));
  return true;
}

bool keyOf(const std::string& line, std::string& key, std::string& value) {
  const std::size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  key = trimBlanks(line.substr(0, eq));
  value = trimBlanks(line.substr(eq + 1));
  return true;
}

std::string readFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

std::string iniValue(const std::string& content, const std::string& section, const std::string& key) {
  bool inSection = false;
  for (const std::string& line : splitLines(content)) {
    std::string name, k, v;
    if (sectionName(line, name)) {
      inSection = sameName(name, section);
    } else if (inSection && keyOf(line, k, v) && sameName(k, key)) {
      if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
      if (v.size() > kIniValueBuffer - 1) v.resize(kIniValueBuffer - 1);
      return v;
    }
  }
  return {};
}

namespace {

// The reader drops blanks around a value and one pair of surrounding quotes.
// A value those rules would change is written inside double quotes, so that
// it reads back byte for byte; any other value is written as it is.
std::string storedForm(const std::string& value) {
  if (value.empty()) return value;
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  auto quote = [](char c) { return c == '"' || c == '\''; };
  const bool needsQuotes =
      blank(value.front()) || blank(value.back()) || quote(value.front()) || quote(value.back());
  return needsQuotes ? "\"" + value + "\"" : value;
}

}  // namespace

std::string setIniValue(const std::string& content, const std::string& section, const std::string& key,
                        const std::string& value) {
  std::vector<std::string> lines = splitLines(content);
  const std::string entry = key + "=" + storedForm(value);
  int sectionLine = -1, lastInSection = -1;
  bool inSection = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string name, k, v;
    if (sectionName(lines[i], name)) {
      if (inSection) break;
      inSection = sameName(name, section);
      if (inSection) sectionLine = lastInSection = static_cast<int>(i);
    } else if (inSection) {
      if (keyOf(lines[i], k, v) && sameName(k, key)) {
        lines[i] = entry;
        sectionLine = -2;  // done
        break;
      }
      if (!trimBlanks(lines[i]).empty()) lastInSection = static_cast<int>(i);
    }
  }
  if (sectionLine >= 0) {
    lines.insert(lines.begin() + lastInSection + 1, entry);
  } else if (sectionLine == -1) {
    lines.push_back("[" + section + "]");
    lines.push_back(entry);
  }
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

std::string readIniValue(const std::filesystem::path& file, const std::string& section,
                         const std::string& key) {
  return iniValue(readFile(file), section, key);
}

bool writeIniValue(const std::filesystem::path& file, const std::string& section, const std::string& key,
                   const std::string& value, IniAccess access) {
  const std::string content = setIniValue(readFile(file), section, key, value);
  std::filesystem::path tmp = file;
  tmp += ".tmp" + std::to_string(::getpid());
  const mode_t mode = access == IniAccess::OwnerOnly ? 0600 : 0644;
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return false;
  if (access == IniAccess::OwnerOnly) ::fchmod(fd, 0600);  // even if an old temporary file lingered
  std::size_t done = 0;
  bool ok = true;
  while (done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = std::rename(tmp.c_str(), file.c_str()) == 0;
  if (!ok) std::remove(tmp.c_str());
  return ok;
}

}  // namespace tarnwick::app
