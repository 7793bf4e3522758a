#pragma once
// Takes a database written while text was stored in 8 bits to UTF-8, once.
#include <string>

namespace tarvelin {

class SQLdb;

// Rewrites, in every table, each text value that is not well-formed UTF-8
// as UTF-8, reading its bytes as Windows-1252 (the 8-bit set the pages, the
// set-up tool and the order parser wrote; ISO 8859-1 is part of it). A value
// that is already UTF-8 (ASCII, or written by a newer edge) stays as it is,
// so running it twice changes nothing. In the Worklist table, the numeric
// character references ("&#344;") that browsers sent for characters outside
// the 8-bit pages become those characters. Blobs (the performed steps'
// data sets, which name their own set) are left alone. False with `error`
// when a statement fails; the caller's transaction then undoes it all.
bool ConvertStoredTextToUtf8(SQLdb& db, std::string& error);

// `text` with each "&#NNN;" or "&#xHHHH;" of a character beyond U+00FF
// replaced by that character in UTF-8; other "&" stay as they are.
std::string DecodeBrowserReferences(const std::string& text);

}  // namespace tarvelin
