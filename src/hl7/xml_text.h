#pragma once
// The text of an XML order file, read in the encoding it declares.
#include <string>

namespace tarvelin {

// `bytes` as UTF-8, read in the encoding the file names: a UTF-8 byte order
// mark, else the XML declaration's encoding="..." (names of
// IconvNameOfXmlEncoding), else UTF-8 as XML prescribes. A file that names
// none and is not valid UTF-8 was written by an older exporter in the
// Windows code page (as this server always read such files): it is read as
// windows-1252 and `note` says so. False, with `problem` saying why, for an
// encoding we do not read (UTF-16 among them) and for bytes not valid in the
// encoding read.
bool ReadXmlText(const std::string& bytes, std::string& utf8, std::string& problem, std::string& note);

}  // namespace tarvelin
