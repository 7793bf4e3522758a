#include "service/text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace tarvelin {

std::string Piece(const std::string& text, const std::string& delim, int n) {
  if (n < 1) return "";
  if (delim.empty()) return n == 1 ? text : "";
  std::string::size_type start = 0;
  for (int i = 1; i < n; ++i) {
    auto p = text.find(delim, start);
    if (p == std::string::npos) return "";
    start = p + delim.size();
  }
  auto end = text.find(delim, start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

static bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string TrimLeft(const std::string& s) {
  std::string::size_type b = 0;
  while (b < s.size() && IsBlank(s[b])) ++b;
  return s.substr(b);
}

std::string TrimRight(const std::string& s) {
  auto e = s.size();
  while (e > 0 && IsBlank(s[e - 1])) --e;
  return s.substr(0, e);
}

std::string Trim(const std::string& s) { return TrimLeft(TrimRight(s)); }

long long ToIntDef(const std::string& s, long long fallback) {
  if (s.empty()) return fallback;
  const char* first = s.data();
  if (*first == '+' && s.size() > 1) ++first;
  long long v = 0;
  auto [ptr, ec] = std::from_chars(first, s.data() + s.size(), v);
  if (ec != std::errc() || ptr != s.data() + s.size()) return fallback;
  return v;
}

std::string Hex8(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
  return text;
}

std::string ReplaceAll(const std::string& text, const std::string& find, const std::string& replacement) {
  if (find.empty()) return text;
  std::string result;
  std::string::size_type from = 0;
  for (auto at = text.find(find); at != std::string::npos; at = text.find(find, from)) {
    result.append(text, from, at - from).append(replacement);
    from = at + find.size();
  }
  return result.append(text, from, std::string::npos);
}

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
    if (ec == std::errc() && end == hex.data() + i + 2) bytes += static_cast<char>(value);
  }
  return bytes;
}

std::vector<std::string_view> Words(std::string_view text, std::string_view separators) {
  std::vector<std::string_view> words;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t start = text.find_first_not_of(separators, at);
    if (start == std::string_view::npos) break;
    const std::size_t end = std::min(text.find_first_of(separators, start), text.size());
    words.push_back(text.substr(start, end - start));
    at = end;
  }
  return words;
}

}  // namespace tarvelin
