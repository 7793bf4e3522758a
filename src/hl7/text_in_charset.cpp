#include "hl7/text_in_charset.h"

#include "platform/codepage.h"
#include "platform/transcoder.h"

namespace tarvelin {

namespace {

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// Each byte that starts no well-formed UTF-8 sequence replaced by "?".
std::string WellFormed(std::string_view text, std::size_t& replaced) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8SequenceLength(text.substr(i));
    if (length == 0) {
      out += '?';
      ++replaced;
      ++i;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
  return out;
}

}  // namespace

bool ReadAsUtf8(std::string_view bytes, const std::string& iconvName, std::string& utf8) {
  utf8.clear();
  if (IsAscii(bytes) || (iconvName == "UTF-8" && IsValidUtf8(bytes))) {
    utf8.assign(bytes);
    return true;
  }
  if (iconvName == "UTF-8") return false;
  Transcoder toUtf8(iconvName, "UTF-8");
  return toUtf8.Convert(bytes, utf8).Valid;
}

std::size_t WriteFromUtf8(std::string_view utf8, const std::string& iconvName, std::string& out) {
  if (IsAscii(utf8)) {
    out.assign(utf8);
    return 0;
  }
  std::size_t replaced = 0;
  const std::string text = WellFormed(utf8, replaced);
  Transcoder fromUtf8("UTF-8", iconvName);
  replaced += fromUtf8.Convert(text, out).Replaced;
  return replaced;
}

}  // namespace tarvelin
