#include "sys/ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string_view>
#include <vector>

#include "sys/cp932.h"

namespace korv {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (isBlank(s.front()) || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (isBlank(s.back()) || s.back() == '\r' || s.back() == '\n')) {
    s.remove_suffix(1);
  }
  return s;
}

// Names compare without regard to ASCII case, but a CP932 trail byte is never folded: the
// second byte of a double-byte character may fall in the range of ASCII letters.
bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x == y) continue;
    if (isCp932TrailByte(a, i) || isCp932TrailByte(b, i)) return false;
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(x) != lower(y)) return false;
  }
  return true;
}

struct Line {
  std::string text;  // without its line ending
  std::string ending;
};

std::vector<Line> splitLines(const std::string& content) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < content.size()) {
    size_t end = content.find('\n', pos);
    if (end == std::string::npos) {
      lines.push_back({content.substr(pos), ""});
      break;
    }
    size_t textEnd = end > pos && content[end - 1] == '\r' ? end - 1 : end;
    lines.push_back(
        {content.substr(pos, textEnd - pos), content.substr(textEnd, end + 1 - textEnd)});
    pos = end + 1;
  }
  return lines;
}

std::optional<std::string_view> sectionName(std::string_view line) {
  line = trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  size_t close = line.find(']');
  if (close == std::string_view::npos) close = line.size();
  return trim(line.substr(1, close - 1));
}

struct KeyLine {
  std::string_view key;
  std::string_view value;
};

std::optional<KeyLine> keyLine(std::string_view line) {
  std::string_view t = trim(line);
  if (t.empty() || t.front() == ';') return std::nullopt;
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  std::string_view value = trim(t.substr(eq + 1));
  // A value in matching quotes is read without them.
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return KeyLine{trim(t.substr(0, eq)), value};
}

// 0 on success (content filled), else errno; a missing file reads as ENOENT.
int readWholeFile(const std::string& path, std::string& content) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    close(fd);
    return err;
  }
  content.clear();
  char buffer[8192];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      close(fd);
      return err;
    }
    if (n == 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return 0;
}

bool writeAll(int fd, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Writes the new content beside the file and renames it over the file, so that a crash
// leaves either the old options or the new ones, never a truncated file.
bool replaceFile(const std::string& requestedPath, const std::string& content) {
  std::string path = requestedPath;
  struct stat st {};
  bool exists = lstat(path.c_str(), &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) {
    // Replace the file the link names, not the link itself.
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) return false;
    path = resolved;
    exists = lstat(path.c_str(), &st) == 0;
  }
  if (exists && (!S_ISREG(st.st_mode) || access(path.c_str(), W_OK) != 0)) return false;

  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);

  std::random_device random;
  std::string tempPath;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    tempPath = folder + (folder.ends_with('/') ? "" : "/") + "." + base + "." +
               std::to_string(random() % 1000000000u) + ".tmp";
    fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  bool ok = true;
  if (exists) {
    if (fchown(fd, st.st_uid, st.st_gid) != 0) {
      // Not our file to give away: it becomes ours, which is what a rewrite does anyway.
    }
    ok = fchmod(fd, st.st_mode & 07777) == 0;
  }
  ok = ok && writeAll(fd, content) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(tempPath.c_str(), path.c_str()) == 0;
  if (!ok) {
    unlink(tempPath.c_str());
    return false;
  }
  int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);  // the rename itself survives a crash
    close(dirFd);
  }
  return true;
}

bool holdsLineBreak(std::string_view s) {
  return s.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

std::optional<std::string> readProfileString(const std::string& path, const std::string& section,
                                             const std::string& key) {
  std::string content;
  if (readWholeFile(path, content) != 0) return std::nullopt;
  bool inSection = false;
  for (const Line& line : splitLines(content)) {
    if (auto name = sectionName(line.text)) {
      if (inSection) return std::nullopt;  // the first section of that name is the one read
      inSection = sameName(*name, section);
      continue;
    }
    if (!inSection) continue;
    if (auto entry = keyLine(line.text); entry && sameName(entry->key, key)) {
      return std::string(entry->value);
    }
  }
  return std::nullopt;
}

bool writeProfileStrings(const std::string& path, const std::string& section,
                         const std::vector<std::pair<std::string, std::string>>& entries) {
  if (holdsLineBreak(section) || section.find(']') != std::string::npos) return false;
  for (const auto& [key, value] : entries) {
    if (holdsLineBreak(key) || holdsLineBreak(value) || key.find('=') != std::string::npos ||
        trim(key).empty() || trim(key).front() == '[' || trim(key).front() == ';') {
      return false;
    }
  }

  std::string content;
  int err = readWholeFile(path, content);
  if (err != 0 && err != ENOENT) return false;
  std::vector<Line> lines = splitLines(content);
  const std::string eol = content.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  if (!lines.empty() && lines.back().ending.empty()) lines.back().ending = eol;

  size_t header = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (auto name = sectionName(lines[i].text); name && sameName(*name, section)) {
      header = i;
      break;
    }
  }
  if (header == lines.size()) {
    if (!lines.empty() && !trim(lines.back().text).empty()) lines.push_back({"", eol});
    lines.push_back({"[" + section + "]", eol});
    header = lines.size() - 1;
  }

  for (const auto& [key, value] : entries) {
    size_t end = header + 1;
    while (end < lines.size() && !sectionName(lines[end].text)) ++end;
    bool replaced = false;
    for (size_t i = header + 1; i < end && !replaced; ++i) {
      if (auto entry = keyLine(lines[i].text); entry && sameName(entry->key, key)) {
        lines[i].text = std::string(entry->key) + "=" + value;
        replaced = true;
      }
    }
    if (replaced) continue;
    size_t insertAt = end;  // after the section's last non-blank line
    while (insertAt > header + 1 && trim(lines[insertAt - 1].text).empty()) --insertAt;
    lines.insert(lines.begin() + static_cast<long>(insertAt), Line{key + "=" + value, eol});
  }

  std::string out;
  out.reserve(content.size() + 64);
  for (const Line& line : lines) out += line.text + line.ending;
  return replaceFile(path, out);
}

bool writeProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) {
  return writeProfileStrings(path, section, {{key, value}});
}

std::optional<long long> parseProfileInteger(const std::string& text) {
  std::string_view s = trim(text);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s.front() == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return std::nullopt;
  unsigned long long value = 0;
  for (char c : s) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    value = value * base + digit;
    // The options are 32-bit integers; hex may use all 32 bits, decimal only the signed range.
    if (value > (base == 16 ? 0xFFFFFFFFull : 0x80000000ull)) return std::nullopt;
  }
  if (base == 10 && !negative && value > 0x7FFFFFFFull) return std::nullopt;
  long long result = base == 16 ? static_cast<int32_t>(static_cast<uint32_t>(value))
                                : static_cast<long long>(value);
  return negative ? -result : result;
}

}  // namespace korv
