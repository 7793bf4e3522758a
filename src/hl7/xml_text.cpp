#include "hl7/xml_text.h"

#include <string_view>

#include "hl7/text_in_charset.h"
#include "platform/charset_names.h"
#include "platform/codepage.h"

namespace tarvelin {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The encoding="..." (or '...') of an XML declaration at the start of
// `text`; "" when there is no declaration or it names none.
std::string DeclaredEncoding(std::string_view text) {
  if (text.substr(0, 5) != "<?xml" || text.size() < 6 || !IsXmlSpace(text[5])) return "";
  const std::string_view declaration = text.substr(0, text.find("?>"));
  for (std::size_t at = declaration.find("encoding"); at != std::string_view::npos;
       at = declaration.find("encoding", at + 1)) {
    std::size_t i = at + 8;
    while (i < declaration.size() && IsXmlSpace(declaration[i])) ++i;
    if (i >= declaration.size() || declaration[i] != '=') continue;
    ++i;
    while (i < declaration.size() && IsXmlSpace(declaration[i])) ++i;
    if (i >= declaration.size() || (declaration[i] != '"' && declaration[i] != '\'')) continue;
    const std::size_t end = declaration.find(declaration[i], i + 1);
    if (end == std::string_view::npos) return "";
    return std::string(declaration.substr(i + 1, end - i - 1));
  }
  return "";
}

bool StartsUtf16(std::string_view bytes) {
  return bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF" ||
         (bytes.size() >= 2 && (bytes[0] == '\0' || bytes[1] == '\0'));
}

}  // namespace

bool ReadXmlText(const std::string& bytes, std::string& utf8, std::string& problem, std::string& note) {
  std::string_view text = bytes;
  const bool bom = text.substr(0, kUtf8Bom.size()) == kUtf8Bom;
  if (bom) text.remove_prefix(kUtf8Bom.size());
  if (!bom && StartsUtf16(text)) {
    problem = "UTF-16 is not read; write the order in UTF-8";
    return false;
  }
  const std::string declared = DeclaredEncoding(text);
  const char* iconvName = declared.empty() ? "UTF-8" : IconvNameOfXmlEncoding(declared);
  if (!iconvName) {
    problem = "encoding " + declared + " is not read; write the order in UTF-8";
    return false;
  }
  if (bom && std::string(iconvName) != "UTF-8") {
    problem = "a UTF-8 byte order mark, but the declaration names " + declared;
    return false;
  }
  if (!bom && declared.empty() && !IsValidUtf8(text)) {
    note = "no encoding declared and not UTF-8: read as windows-1252";
    iconvName = "WINDOWS-1252";
  }
  if (ReadAsUtf8(text, iconvName, utf8)) return true;
  problem = "bytes that are not valid " + (declared.empty() ? std::string(iconvName) : declared) + " text";
  return false;
}

}  // namespace tarvelin
