#pragma once
// The character sets text may arrive in or leave in, by the names DICOM
// gives them, mapped to the names glibc's iconv knows. Only sets that keep
// ASCII as it is are listed (single-byte ISO 8859 parts and UTF-8), so text
// that is all ASCII reads the same in every one of them.
#include <string_view>

namespace tarvelin {

// The iconv name of a DICOM Specific Character Set defined term without code
// extensions ("ISO_IR 192", "ISO_IR 100", "ISO_IR 6"…), or nullptr when the
// term is not one we convert. Blanks around the term are ignored.
const char* IconvNameOfDicomTerm(std::string_view term);

}  // namespace tarvelin
