#pragma once
// The storage edge of the order paths (HL7 over MLLP, HL7 and XML files):
// records are read as UTF-8 and written to the worklist table in the set it
// holds, StoredTextCharset. Every order writer converts through here.
#include <string>

namespace tarvelin {

class WorklistDB;

// Converts every field of `record` from UTF-8 into StoredTextCharset. False,
// with `problem` naming the column and its value (UTF-8), when a value holds
// a character that set cannot hold: the order must then be refused, never
// stored with "?" or "&#NNN;" in its place. `record` is then partly
// converted and not to be stored.
bool ToStoredText(WorklistDB& record, std::string& problem);

}  // namespace tarvelin
