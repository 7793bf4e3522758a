#include "web/url_decode.h"

#include <optional>

#include "platform/codepage.h"

namespace tarvelin {

namespace {
std::optional<unsigned> HexValue(const std::string& text, std::size_t at, std::size_t digits) {
  if (at + digits > text.size()) return std::nullopt;
  unsigned value = 0;
  for (std::size_t i = at; i < at + digits; ++i) {
    const char c = text[i];
    const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) return std::nullopt;
    value = value * 16 + static_cast<unsigned>(d);
  }
  return value;
}

}  // namespace

std::string UrlDecode(const std::string& text, bool plusIsBlank) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+' && plusIsBlank) {
      out += ' ';
    } else if (c != '%') {
      out += c;
    } else if (const auto byte = HexValue(text, i + 1, 2)) {
      out += static_cast<char>(*byte);
      i += 2;
    } else if (i + 1 < text.size() && (text[i + 1] == 'u' || text[i + 1] == 'U') && HexValue(text, i + 2, 4)) {
      unsigned unit = *HexValue(text, i + 2, 4);
      i += 5;
      // A high surrogate followed by an escaped low one forms one character;
      // an unpaired surrogate becomes U+FFFD.
      if (unit >= 0xD800 && unit < 0xDC00 && i + 2 < text.size() && text[i + 1] == '%' &&
          (text[i + 2] == 'u' || text[i + 2] == 'U')) {
        const auto low = HexValue(text, i + 3, 4);
        if (low && *low >= 0xDC00 && *low < 0xE000) {
          unit = 0x10000 + ((unit - 0xD800) << 10) + (*low - 0xDC00);
          i += 6;
        }
      }
      AppendUtf8(out, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace tarvelin
