#pragma once
// The value of a worklist matching key, read by the rules of its value
// representation: universal, single value, wildcard, list of UIDs or range.
// Values that fit none of them are refused with an error text, so a
// modality hears that its query was not understood instead of getting an
// empty list.
#include <string>
#include <vector>

#include "dicom/dcmtag.h"

namespace tarvelin {

// How the stored value is compared with a key's value.
enum class ValueKind {
  Text,        // case-sensitive; "*" and "?" are wildcards
  PersonName,  // as Text, but letters compare without case (ASCII)
  UidList,     // one UID or several separated by "\"
  Date,        // YYYYMMDD, or a range of them
  Time,        // HH[MM[SS[.F]]], or a range of them
};

enum class MatchForm { Universal, Single, Wildcard, UidList, Range };

struct MatchValue {
  MatchForm Form = MatchForm::Universal;
  // Single and Wildcard: the value; letters upper-cased for PersonName.
  std::string Text;
  std::vector<std::string> Uids;
  // Range: bounds in a form that compares as text ("" open). Dates as
  // YYYYMMDD; times as HHMMSS, the low bound padded with "0" and the high
  // bound with "9", so "1400" as a high bound still holds 14:00:59.
  std::string Low, High;
};

// The value bytes of a key up to the first zero byte, blanks trimmed at
// both ends (a pad byte included).
std::string KeyText(const DcmTag& element);

// Reads `text` (a KeyText) as a key of `kind`. False, with `error` set to a
// sentence for the Error Comment, when the value cannot be processed.
bool ParseMatchValue(ValueKind kind, const std::string& text, MatchValue& value, std::string& error);

}  // namespace tarvelin
