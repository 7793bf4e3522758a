#include "service/log_line.h"

namespace tarvelin {

namespace {

bool NeedsEscape(unsigned char c) { return c < 0x20 || c == 0x7F; }

// The escaped form of one control character.
void AppendEscaped(std::string& line, unsigned char c) {
  static const char hex[] = "0123456789ABCDEF";
  if (c == '\r') {
    line += "\\r";
  } else if (c == '\n') {
    line += "\\n";
  } else {
    line += "\\x";
    line += hex[c >> 4];
    line += hex[c & 0x0F];
  }
}

}  // namespace

void AppendLogText(std::string& line, std::string_view text, std::size_t limit) {
  const std::size_t start = line.size();
  std::size_t taken = 0;
  for (; taken < text.size(); ++taken) {
    const unsigned char c = static_cast<unsigned char>(text[taken]);
    const std::size_t width = NeedsEscape(c) ? (c == '\r' || c == '\n' ? 2 : 4) : 1;
    if (limit != 0 && line.size() - start + width > limit) break;
    if (NeedsEscape(c))
      AppendEscaped(line, c);
    else
      line += static_cast<char>(c);
  }
  if (taken < text.size()) line += " ...[" + std::to_string(text.size() - taken) + " more bytes]";
}

}  // namespace tarvelin
