#include "db/name_match.h"

#include <locale.h>
#include <sqlite3.h>
#include <wctype.h>

#include "platform/codepage.h"
#include "service/text.h"

namespace tarvelin {

namespace {
// glibc's C.UTF-8 carries the Unicode case mappings whatever the process locale.
locale_t Utf8Locale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return locale;
}

// The code point at `at` (advanced past it); U+FFFD for a malformed sequence.
char32_t NextCodePoint(const std::string& text, std::size_t& at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  const int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
  if (length == 0 || at + static_cast<std::size_t>(length) > text.size()) {
    ++at;
    return 0xFFFD;
  }
  char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
  for (int i = 1; i < length; ++i) cp = (cp << 6) | (byte(at + static_cast<std::size_t>(i)) & 0x3F);
  at += static_cast<std::size_t>(length);
  return cp;
}

void NameMatchFunction(sqlite3_context* context, int, sqlite3_value** values) {
  const auto text = [&](int i) {
    const unsigned char* value = sqlite3_value_text(values[i]);
    return value ? std::string(reinterpret_cast<const char*>(value)) : std::string();
  };
  sqlite3_result_int(context, NameMatches(text(0), text(1), text(2)) ? 1 : 0);
}
}  // namespace

std::string FoldCase(const std::string& text) {
  const std::string utf8 = ToUtf8(text);
  std::string folded;
  folded.reserve(utf8.size());
  const locale_t locale = Utf8Locale();
  for (std::size_t at = 0; at < utf8.size();) {
    const char32_t cp = NextCodePoint(utf8, at);
    AppendUtf8(folded, locale ? static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), locale))
                              : static_cast<char32_t>(cp < 0x80 ? std::tolower(static_cast<int>(cp)) : cp));
  }
  return folded;
}

bool NameMatches(const std::string& storedName, const std::string& family, const std::string& given) {
  const auto startsWith = [](const std::string& component, const std::string& prefix) {
    return prefix.empty() || FoldCase(Trim(component)).starts_with(FoldCase(Trim(prefix)));
  };
  return startsWith(Piece(storedName, "^", 1), family) && startsWith(Piece(storedName, "^", 2), given);
}

bool RegisterNameMatch(sqlite3* handle) {
  return sqlite3_create_function(handle, "name_matches", 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                 NameMatchFunction, nullptr, nullptr) == SQLITE_OK;
}

}  // namespace tarvelin
