#include "platform/ini_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/codepage.h"

namespace tarvelin {

namespace {
constexpr std::size_t kLongestValue = 2047;  // the platform call's buffer of 2048 characters

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string TrimBlanks(const std::string& s) {
  auto isBlank = [](unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; };
  std::size_t b = 0, e = s.size();
  while (b < e && isBlank(s[b])) ++b;
  while (e > b && isBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::string Unquote(const std::string& s) {
  if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front()) return s.substr(1, s.size() - 2);
  return s;
}

// The file's text in UTF-8.
std::string ReadAsUtf8(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') return Utf16LeToUtf8(bytes.substr(2));
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.erase(0, 3);
  return ToUtf8(bytes);
}

bool ParseDecimal(const std::string& text, std::int32_t& out) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') {
    ++first;
    if (first == last || !std::isdigit(static_cast<unsigned char>(*first))) return false;
  }
  auto [end, ec] = std::from_chars(first, last, out);
  return ec == std::errc() && end == last;
}

bool ParseHex(const std::string& digits, std::int32_t& out) {
  if (digits.empty() || digits.size() > 8) return false;
  std::uint32_t value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
  if (ec != std::errc() || end != digits.data() + digits.size()) return false;
  out = static_cast<std::int32_t>(value);  // 0xFFFFFFFF reads as -1, as a 32-bit integer does
  return true;
}
}  // namespace

std::int32_t IniIntegerDef(const std::string& text, std::int32_t fallback) {
  std::int32_t value = 0;
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  bool ok = hex ? ParseHex(text.substr(2), value) : ParseDecimal(text, value);
  return ok ? value : fallback;
}

IniFile::IniFile(const std::string& path) {
  std::istringstream text(ReadAsUtf8(path));
  std::string line;
  while (std::getline(text, line)) {
    line = TrimBlanks(line);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      auto close = line.find(']');
      if (close != std::string::npos) sections_.push_back({Lower(TrimBlanks(line.substr(1, close - 1))), {}});
      continue;
    }
    auto equals = line.find('=');
    if (sections_.empty() || equals == std::string::npos) continue;
    std::string value = Unquote(TrimBlanks(line.substr(equals + 1)));
    value.resize(Utf8PrefixBytes(value, kLongestValue));
    sections_.back().entries.push_back({Lower(TrimBlanks(line.substr(0, equals))), value});
  }
}

std::vector<std::pair<std::string, std::string>> IniFile::ReadSection(const std::string& section) const {
  std::vector<std::pair<std::string, std::string>> pairs;
  const std::string wanted = Lower(section);
  auto found = std::find_if(sections_.begin(), sections_.end(), [&](const Section& s) { return s.name == wanted; });
  if (found != sections_.end())
    for (const Entry& entry : found->entries) pairs.emplace_back(entry.key, entry.value);
  return pairs;
}

const std::string* IniFile::Find(const std::string& section, const std::string& key) const {
  const std::string wantedSection = Lower(section), wantedKey = Lower(key);
  // Only the first section of a name is searched, as with the platform call.
  auto found = std::find_if(sections_.begin(), sections_.end(), [&](const Section& s) { return s.name == wantedSection; });
  if (found == sections_.end()) return nullptr;
  for (const Entry& entry : found->entries)
    if (entry.key == wantedKey) return &entry.value;
  return nullptr;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key, const std::string& fallback) const {
  const std::string* value = Find(section, key);
  return value ? *value : fallback;
}

std::int32_t IniFile::ReadInteger(const std::string& section, const std::string& key, std::int32_t fallback) const {
  const std::string* value = Find(section, key);
  return value ? IniIntegerDef(*value, fallback) : fallback;
}

bool IniFile::ReadBool(const std::string& section, const std::string& key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

}  // namespace tarvelin
