#pragma once
// The character sets of one worklist query, decided per request: the
// request's Specific Character Set (0008,0005) when it names a set we
// convert; otherwise the calling station's set from the [StationCharSet]
// settings, else DefaultCharSet. An empty (0008,0005) names none: it asks
// for the value. Answers are written in the chosen set and carry its term;
// the request's key values are read in the request's own set (in the chosen
// one when the request names none we know).
#include <string>

#include "dicom/dcmobj.h"

namespace tarvelin {

struct QueryCharsets {
  std::string AnswerTerm;    // the (0008,0005) value of every response
  std::string AnswerIconv;   // the iconv name of that set
  std::string RequestIconv;  // the set the key values are read in
};

// The configured set for a station: its [StationCharSet] line (AE title
// without case, as ini keys are), else DefaultCharSet. Both were checked
// when the settings were read.
std::string StationCharsetTerm(const std::string& callingAETitle);

// Logs a WARNING line when the request names a set we do not convert.
QueryCharsets ChooseQueryCharsets(const DcmObj& identifier, const std::string& callingAETitle);

}  // namespace tarvelin
