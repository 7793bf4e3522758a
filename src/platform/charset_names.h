#pragma once
// The character sets text may arrive in or leave in, by the names DICOM, HL7
// and XML give them, mapped to the names glibc's iconv knows. Only sets that
// keep ASCII as it is are listed (single-byte ISO 8859 and Windows parts and
// UTF-8), so text that is all ASCII reads the same in every one of them.
#include <string_view>

namespace tarvelin {

// The iconv name of a DICOM Specific Character Set defined term without code
// extensions ("ISO_IR 192", "ISO_IR 100", "ISO_IR 6"…), or nullptr when the
// term is not one we convert. Blanks around the term are ignored.
const char* IconvNameOfDicomTerm(std::string_view term);

// The iconv name of an HL7 v2 character set (MSH-18, HL7 table 0211: "ASCII",
// "8859/1" ... "8859/9", "8859/15", "UNICODE UTF-8"), or nullptr when the
// value is not one we convert. Blanks around it are ignored; the case is not.
const char* IconvNameOfHl7Term(std::string_view term);

// The iconv name of the encoding an XML declaration names ("UTF-8",
// "ISO-8859-2", "windows-1252", "US-ASCII" ...; XML compares them without
// case), or nullptr when it is not one we read.
const char* IconvNameOfXmlEncoding(std::string_view name);

}  // namespace tarvelin
