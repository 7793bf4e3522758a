#include "platform/charset_names.h"

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

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

const char* IconvNameOfDicomTerm(std::string_view term) {
  term = Trimmed(term);
  for (const CharsetName& entry : DicomTerms)
    if (term == entry.Name) return entry.Iconv;
  return nullptr;
}

}  // namespace tarvelin
