#pragma once

namespace tarvelin {
// The character set of the text in the worklist table, by its iconv name.
// Every edge converts to and from it; an answer in the same set costs no
// conversion.
inline constexpr const char* StoredTextCharset = "ISO-8859-1";

}  // namespace tarvelin
