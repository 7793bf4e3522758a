#pragma once
// Finding patients by name the way staff type it: the family and given name
// each match the start of their component of the stored name (DOE^JOHN),
// without regard to letter case in any script ("müller" finds MÜLLER) but
// with accents as typed ("muller" does not).
#include <string>

struct sqlite3;

namespace tarvelin {

// `text` (UTF-8; bytes that are not valid UTF-8 are read as Windows-1252)
// with every letter in lower case, as UTF-8.
std::string FoldCase(const std::string& text);

// True when the folded `family` starts component 1 of `storedName` and the
// folded `given` starts component 2; an empty part matches anything.
bool NameMatches(const std::string& storedName, const std::string& family, const std::string& given);

// Makes name_matches(PatientName, family, given) available in SQL on this
// connection. False when SQLite refused.
bool RegisterNameMatch(sqlite3* handle);

}  // namespace tarvelin
