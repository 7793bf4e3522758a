#pragma once

namespace tarvelin {
// The character set of the text in the database, by its iconv name: UTF-8,
// from `tarvelin-setup init` on (and after `upgrade` for an older, Latin-1
// instance). Every edge converts to and from it; an answer in the same set
// costs no conversion.
inline constexpr const char* StoredTextCharset = "UTF-8";
// Its DICOM defined term, for data sets kept as they were converted.
inline constexpr const char* StoredTextTerm = "ISO_IR 192";

}  // namespace tarvelin
