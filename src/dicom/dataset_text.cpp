#include "dicom/dataset_text.h"

#include "dicom/datadictionary.h"
#include "platform/charset_names.h"
#include "platform/transcoder.h"
#include "service/text.h"

namespace tarvelin {

namespace {

// The VR of an element, from the dictionary when the stream carried none
// (implicit VR).
std::string VROf(const DcmTag& tag) {
  if (!tag.VRText().empty()) return tag.VRText();
  DcmTag probe = tag;
  LookupVR(probe);
  return probe.VRText();
}

bool GovernedByCharset(const std::string& vr) {
  return vr == "SH" || vr == "LO" || vr == "ST" || vr == "LT" || vr == "PN" || vr == "UC" || vr == "UT";
}

void Convert(DcmObj& dataset, Transcoder& transcoder, DatasetTextOutcome& outcome) {
  std::string converted;
  for (DcmEntry& entry : dataset.Entries) {
    if (outcome.Invalid) return;
    if (entry.IsObj()) {
      Convert(*entry.Obj, transcoder, outcome);
      continue;
    }
    DcmTag& tag = *entry.Tag;
    if (!tag.HasValue() || tag.Is(0x0008, 0x0005)) continue;
    const std::string vr = VROf(tag);
    if (!GovernedByCharset(vr)) continue;
    const std::string_view bytes(reinterpret_cast<const char*>(tag.Data.data()), tag.Data.size());
    const Transcoder::Outcome result = transcoder.Convert(bytes, converted);
    if (!result.Valid) {
      outcome.Invalid = static_cast<std::uint32_t>(tag.Group) << 16 | tag.Element;
      return;
    }
    outcome.Replaced += result.Replaced;
    if (converted == bytes) continue;
    // A converted value may end up odd: the padding is the text's blank again.
    while (!converted.empty() && converted.back() == ' ') converted.pop_back();
    const std::uint8_t bigEndian = tag.BigEndian;
    tag = DcmTag(tag.Group, tag.Element, converted, vr.c_str());
    tag.BigEndian = bigEndian;
  }
}

}  // namespace

std::string DatasetCharset(const DcmObj& dataset, const std::string& fallbackIconv, std::string& named) {
  named = Trim(dataset.GetString(0x0008, 0x0005));
  const char* iconvName = named.empty() ? nullptr : IconvNameOfDicomTerm(named);
  return iconvName ? iconvName : fallbackIconv;
}

DatasetTextOutcome ConvertDatasetText(DcmObj& dataset, Transcoder& transcoder, const std::string& targetTerm) {
  DatasetTextOutcome outcome;
  Convert(dataset, transcoder, outcome);
  if (!outcome.Invalid && !targetTerm.empty()) dataset.Set(DcmTag(0x0008, 0x0005, targetTerm, "CS"));
  return outcome;
}

}  // namespace tarvelin
