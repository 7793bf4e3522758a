#include "platform/charset_names.h"

#include <cctype>

namespace tarvelin {

namespace {

struct CharsetName {
  const char* Name;
  const char* Iconv;
};

// DICOM PS3.3 C.12.1.1.2, the single-byte terms without code extensions.
constexpr CharsetName DicomTerms[] = {
    {"ISO_IR 6", "ASCII"},         {"ISO_IR 100", "ISO-8859-1"}, {"ISO_IR 101", "ISO-8859-2"},
    {"ISO_IR 109", "ISO-8859-3"},  {"ISO_IR 110", "ISO-8859-4"}, {"ISO_IR 144", "ISO-8859-5"},
    {"ISO_IR 127", "ISO-8859-6"},  {"ISO_IR 126", "ISO-8859-7"}, {"ISO_IR 138", "ISO-8859-8"},
    {"ISO_IR 148", "ISO-8859-9"},  {"ISO_IR 203", "ISO-8859-15"}, {"ISO_IR 192", "UTF-8"},
};

// HL7 table 0211, the sets without code extensions. "8859/15" came with
// v2.6; a sender that uses it declares it, so it costs nothing to read.
constexpr CharsetName Hl7Terms[] = {
    {"ASCII", "ASCII"},           {"8859/1", "ISO-8859-1"}, {"8859/2", "ISO-8859-2"},
    {"8859/3", "ISO-8859-3"},     {"8859/4", "ISO-8859-4"}, {"8859/5", "ISO-8859-5"},
    {"8859/6", "ISO-8859-6"},     {"8859/7", "ISO-8859-7"}, {"8859/8", "ISO-8859-8"},
    {"8859/9", "ISO-8859-9"},     {"8859/15", "ISO-8859-15"}, {"UNICODE UTF-8", "UTF-8"},
};

// The IANA names XML writers put in a declaration, for the ASCII-keeping
// sets a Windows or Unix exporter writes. windows-1255 and -1258 are left
// out: glibc composes their combining marks, holding a character back.
constexpr CharsetName XmlEncodings[] = {
    {"UTF-8", "UTF-8"},               {"US-ASCII", "ASCII"},            {"ASCII", "ASCII"},
    {"ISO-8859-1", "ISO-8859-1"},     {"ISO-8859-2", "ISO-8859-2"},     {"ISO-8859-3", "ISO-8859-3"},
    {"ISO-8859-4", "ISO-8859-4"},     {"ISO-8859-5", "ISO-8859-5"},     {"ISO-8859-6", "ISO-8859-6"},
    {"ISO-8859-7", "ISO-8859-7"},     {"ISO-8859-8", "ISO-8859-8"},     {"ISO-8859-9", "ISO-8859-9"},
    {"ISO-8859-13", "ISO-8859-13"},   {"ISO-8859-15", "ISO-8859-15"},   {"WINDOWS-1250", "WINDOWS-1250"},
    {"WINDOWS-1251", "WINDOWS-1251"}, {"WINDOWS-1252", "WINDOWS-1252"}, {"WINDOWS-1253", "WINDOWS-1253"},
    {"WINDOWS-1254", "WINDOWS-1254"}, {"WINDOWS-1256", "WINDOWS-1256"}, {"WINDOWS-1257", "WINDOWS-1257"},
};

bool SameWithoutCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

template <std::size_t N, typename Equal>
const char* Lookup(const CharsetName (&table)[N], std::string_view name, Equal equal) {
  name = Trimmed(name);
  for (const CharsetName& entry : table)
    if (equal(name, entry.Name)) return entry.Iconv;
  return nullptr;
}

bool Same(std::string_view a, std::string_view b) { return a == b; }

}  // namespace

const char* IconvNameOfDicomTerm(std::string_view term) { return Lookup(DicomTerms, term, Same); }

const char* IconvNameOfHl7Term(std::string_view term) { return Lookup(Hl7Terms, term, Same); }

const char* IconvNameOfXmlEncoding(std::string_view name) { return Lookup(XmlEncodings, name, SameWithoutCase); }

}  // namespace tarvelin
