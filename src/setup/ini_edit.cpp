#include "setup/ini_edit.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>
#include <vector>

namespace tarvelin {

namespace {
constexpr std::size_t kLongestValue = 2047;  // the server cuts longer values

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string TrimBlanks(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

bool HasAny(const std::string& s, std::string_view chars) { return s.find_first_of(chars) != std::string::npos; }

std::optional<std::string> CheckNames(const std::string& section, const std::string& key,
                                      const std::string& value) {
  if (section.empty() || TrimBlanks(section) != section || HasAny(section, "[]\r\n"))
    return "invalid section name \"" + section + "\"";
  if (key.empty() || TrimBlanks(key) != key || HasAny(key, "=\r\n") || key[0] == ';' || key[0] == '[')
    return "invalid key name \"" + key + "\"";
  if (HasAny(value, "\r\n")) return "a value cannot hold a line break";
  if (value.size() > kLongestValue) return "value longer than 2047 characters (the server would cut it)";
  return std::nullopt;
}

// The value as written after "=": quoted when the reader would otherwise trim
// blanks from it or strip a pair of quotes it holds.
std::string EncodeValue(const std::string& value) {
  const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                      value.back() == value.front();
  return TrimBlanks(value) != value || quoted ? "\"" + value + "\"" : value;
}

// The section name of a header line, if the line is one.
std::optional<std::string> SectionOf(const std::string& line) {
  const std::string t = TrimBlanks(line);
  if (t.empty() || t[0] != '[') return std::nullopt;
  const auto close = t.find(']');
  if (close == std::string::npos) return std::nullopt;
  return TrimBlanks(t.substr(1, close - 1));
}

// The key of a "key=value" line, or of a commented-out one when `commented`.
std::optional<std::string> KeyOf(const std::string& line, bool commented) {
  std::string t = TrimBlanks(line);
  if (t.empty() || (t[0] == ';') != commented) return std::nullopt;
  if (commented) t = TrimBlanks(t.substr(1));
  const auto equals = t.find('=');
  if (equals == std::string::npos) return std::nullopt;
  return TrimBlanks(t.substr(0, equals));
}

struct Lines {
  std::vector<std::string> text;  // without line ends
  std::string eol = "\n";         // the file's line end, kept for added lines
  std::string bom;                // a UTF-8 byte-order mark, kept in front of the first line
  int mode = 0644;
};

std::optional<Lines> ReadLines(const std::string& path, std::string& error) {
  Lines lines;
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return lines;
  lines.mode = static_cast<int>(info.st_mode & 07777);
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path;
    return std::nullopt;
  }
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.starts_with("\xFF\xFE")) {
    error = path + " is UTF-16 text; save it as UTF-8 to change it here";
    return std::nullopt;
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    lines.bom = bytes.substr(0, 3);
    bytes.erase(0, 3);
  }
  if (bytes.empty()) return lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    auto end = bytes.find('\n', start);
    if (end == std::string::npos) {
      lines.text.push_back(bytes.substr(start));
      break;
    }
    lines.text.push_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  if (bytes.find("\r\n") != std::string::npos) lines.eol = "\r\n";
  for (auto& line : lines.text)
    if (!line.empty() && line.back() == '\r') line.pop_back();
  return lines;
}

// The header line of the first section named `section`; text.size() when none.
std::size_t SectionHeader(const std::vector<std::string>& text, const std::string& section) {
  std::size_t header = 0;
  for (; header < text.size(); ++header) {
    const auto name = SectionOf(text[header]);
    if (name && SameName(*name, section)) break;
  }
  return header;
}

// The line of the first `key` of the section whose header is at `header`;
// `end` when it has none.
std::size_t KeyLine(const std::vector<std::string>& text, std::size_t header, std::size_t end, const std::string& key) {
  for (std::size_t i = header + 1; i < end; ++i) {
    const auto name = KeyOf(text[i], false);
    if (name && SameName(*name, key)) return i;
  }
  return end;
}

std::size_t SectionEnd(const std::vector<std::string>& text, std::size_t header) {
  std::size_t end = header + 1;
  while (end < text.size() && !SectionOf(text[end])) ++end;
  return end;
}

void PlaceKey(Lines& lines, const std::string& section, const std::string& key, const std::string& entry) {
  auto& text = lines.text;
  const std::size_t header = SectionHeader(text, section);
  if (header == text.size()) {
    if (!text.empty() && !TrimBlanks(text.back()).empty()) text.push_back("");
    text.push_back("[" + section + "]");
    text.push_back(entry);
    return;
  }
  const std::size_t end = SectionEnd(text, header);
  if (const std::size_t line = KeyLine(text, header, end, key); line != end) {
    text[line] = entry;
    return;
  }
  // A new key goes below its commented-out default, else after the section's last line.
  std::size_t at = end;
  for (std::size_t i = header + 1; i < end; ++i) {
    const auto name = KeyOf(text[i], true);
    if (name && SameName(*name, key)) {
      at = i + 1;
      break;
    }
  }
  if (at == end)
    while (at > header + 1 && TrimBlanks(text[at - 1]).empty()) --at;
  text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), entry);
}

bool WriteAtomically(const std::string& path, const std::string& bytes, int mode, std::string& error) {
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    error = "cannot write in the folder of " + path;
    return false;
  }
  bool ok = fchmod(fd, static_cast<mode_t>(mode)) == 0;
  for (std::size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    std::remove(temp.c_str());
    error = "cannot write " + path;
  }
  return ok;
}

bool WriteLines(const std::string& path, const Lines& lines, std::string& error) {
  std::string bytes = lines.bom;
  for (const auto& line : lines.text) bytes += line + lines.eol;
  return WriteAtomically(path, bytes, lines.mode, error);
}
}  // namespace

bool SetIniValue(const std::string& path, const std::string& section, const std::string& key,
                 const std::string& value, std::string& error) {
  if (const auto problem = CheckNames(section, key, value)) {
    error = *problem;
    return false;
  }
  auto lines = ReadLines(path, error);
  if (!lines) return false;
  PlaceKey(*lines, section, key, key + "=" + EncodeValue(value));
  return WriteLines(path, *lines, error);
}

bool RemoveIniValue(const std::string& path, const std::string& section, const std::string& key, std::string& error) {
  auto lines = ReadLines(path, error);
  if (!lines) return false;
  auto& text = lines->text;
  const std::size_t header = SectionHeader(text, section);
  if (header == text.size()) return true;
  const std::size_t end = SectionEnd(text, header);
  const std::size_t line = KeyLine(text, header, end, key);
  if (line == end) return true;
  text.erase(text.begin() + static_cast<std::ptrdiff_t>(line));
  return WriteLines(path, *lines, error);
}

}  // namespace tarvelin
