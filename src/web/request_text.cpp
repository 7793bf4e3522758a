#include "web/request_text.h"

#include <strings.h>

#include <stdexcept>

#include "platform/codepage.h"
#include "platform/transcoder.h"

namespace tarvelin {

namespace {
bool Named(const std::string& charSet, const char* name) { return strcasecmp(charSet.c_str(), name) == 0; }

bool IsLatin1Label(const std::string& charSet) {
  for (const char* label : {"ISO-8859-1", "ISO8859-1", "ISO_8859-1", "latin1", "l1", "windows-1252", "cp1252",
                            "US-ASCII", "ASCII"})
    if (Named(charSet, label)) return true;
  return false;
}
}  // namespace

std::optional<std::string> RequestTextToUtf8(const std::string& bytes, const std::string& charSet) {
  if (charSet.empty()) return ToUtf8(bytes);
  if (Named(charSet, "UTF-8") || Named(charSet, "UTF8")) {
    if (!IsValidUtf8(bytes)) return std::nullopt;
    return bytes;
  }
  if (IsLatin1Label(charSet)) return Cp1252ToUtf8(bytes);
  try {
    Transcoder toUtf8(charSet, "UTF-8");
    std::string text;
    if (!toUtf8.Convert(bytes, text).Valid) return std::nullopt;
    return text;
  } catch (const std::runtime_error&) {
    return std::nullopt;  // a set iconv does not know
  }
}

}  // namespace tarvelin
