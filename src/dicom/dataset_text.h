#pragma once
// The text values of a data set in another character set: the values of the
// VRs that Specific Character Set (0008,0005) governs (SH, LO, ST, LT, PN,
// UC, UT), in sequence items too. Other VRs are ASCII by definition.
#include <cstddef>
#include <cstdint>
#include <string>

#include "dicom/dcmobj.h"

namespace tarvelin {

class Transcoder;

// The iconv name of the set a data set's text is in: its (0008,0005) when
// that names a set we convert, else `fallbackIconv`. `named` receives the
// term it names ("" for none), so a caller can say what it did not know.
std::string DatasetCharset(const DcmObj& dataset, const std::string& fallbackIconv, std::string& named);

struct DatasetTextOutcome {
  std::uint32_t Invalid = 0;  // (group << 16) | element of the first value not valid in the
                              // source set, 0 when every value was
  std::size_t Replaced = 0;   // characters the target set lacks, written as "?"
};

// Converts every governed value of `dataset` with `transcoder`, and sets its
// (0008,0005) to `targetTerm` (left alone when `targetTerm` is empty). Stops
// at the first invalid value: the data set is then partly converted and is
// to be refused, not kept.
DatasetTextOutcome ConvertDatasetText(DcmObj& dataset, Transcoder& transcoder, const std::string& targetTerm);

}  // namespace tarvelin
