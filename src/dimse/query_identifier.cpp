#include "dimse/query_identifier.h"

#include <cstdint>
#include <string>
#include <vector>

#include "service/log.h"
#include "service/text.h"

namespace tarvelin {

namespace {

// One record field and its attribute. `keyVR` is the VR it is sent with as a
// key (nullptr: only returned). `maxLength` cuts answers (0: no limit), with
// `warning` + the value logged first when a warning is given.
template <class Record>
struct Field {
  std::uint16_t group;
  std::uint16_t element;
  const char* keyVR;
  std::string Record::*text;
  std::uint16_t Record::*number;
  std::size_t maxLength;
  const char* warning;
};

template <class Record>
constexpr Field<Record> Text(std::uint16_t group, std::uint16_t element, const char* keyVR,
                             std::string Record::*text, std::size_t maxLength = 0,
                             const char* warning = nullptr) {
  return {group, element, keyVR, text, nullptr, maxLength, warning};
}

template <class Record>
constexpr Field<Record> Number(std::uint16_t group, std::uint16_t element, const char* keyVR,
                               std::uint16_t Record::*number) {
  return {group, element, keyVR, nullptr, number, 0, nullptr};
}

// The tables are in tag order, which is the order of the identifier.
using S = StudyInfo;
const std::vector<Field<S>> kStudyFields = {
    Text<S>(0x0008, 0x0020, "DA", &S::StudyDate),
    Text<S>(0x0008, 0x0030, "TM", &S::StudyTime),
    Text<S>(0x0008, 0x0050, "SH", &S::AccessionNumber, 16, "WARNING, Accession number length>16, "),
    Text<S>(0x0008, 0x0060, nullptr, &S::ModalitiesInStudy),
    Text<S>(0x0008, 0x0061, "CS", &S::ModalitiesInStudy),
    Text<S>(0x0008, 0x0080, "LO", &S::InstitutionName, 64, "WARNING, InstitutionName length>64, "),
    Text<S>(0x0008, 0x0090, "PN", &S::ReferringPhysicianName),
    Text<S>(0x0008, 0x1030, "LO", &S::StudyDescription, 64, "WARNING, StudyDescription length>64, "),
    Text<S>(0x0008, 0x1070, nullptr, &S::OperatorsName, 64, "WARNING, Operators Name length>64, "),
    Text<S>(0x0010, 0x0010, "PN", &S::PatientName, 64, "WARNING, PatientName length>64, "),
    Text<S>(0x0010, 0x0020, "LO", &S::PatientID),
    Text<S>(0x0010, 0x0030, "DA", &S::PatientBirthDate),
    Text<S>(0x0010, 0x0040, "CS", &S::PatientSex),
    Text<S>(0x0010, 0x1010, nullptr, &S::PatientAge),
    Text<S>(0x0010, 0x1030, nullptr, &S::PatientWeight),
    Text<S>(0x0010, 0x4000, "LT", &S::PatientComments),
    Text<S>(0x0020, 0x000D, "UI", &S::StudyInstanceUID),
    Text<S>(0x0020, 0x0010, nullptr, &S::StudyID, 16),
};

using R = SeriesInfo;
const std::vector<Field<R>> kSeriesFields = {
    Text<R>(0x0008, 0x0021, "DA", &R::SeriesDate),
    Text<R>(0x0008, 0x0031, "TM", &R::SeriesTime),
    Text<R>(0x0008, 0x0060, "CS", &R::Modality),
    Text<R>(0x0008, 0x0080, "CS", &R::InstitutionName),  // sent as CS, as peers have always seen it
    Text<R>(0x0008, 0x103E, "LO", &R::SeriesDescription),
    Text<R>(0x0008, 0x1070, "PN", &R::OperatorsName),
    Text<R>(0x0018, 0x0015, "CS", &R::BodyPartExamined),
    Text<R>(0x0018, 0x1030, "LO", &R::ProtocolName),
    Text<R>(0x0018, 0x5100, "CS", &R::PatientPosition),
    Text<R>(0x0020, 0x000D, "UI", &R::StudyInstanceUID),
    Text<R>(0x0020, 0x000E, "UI", &R::SeriesInstanceUID),
    Text<R>(0x0020, 0x0011, "IS", &R::SeriesNumber),
    Text<R>(0x0020, 0x0052, nullptr, &R::FrameOfReferenceUID),
};

using I = ImageInfo;
const std::vector<Field<I>> kImageFields = {
    Text<I>(0x0008, 0x0008, nullptr, &I::ImageType),
    Text<I>(0x0008, 0x0016, "UI", &I::SOPClassUID),
    Text<I>(0x0008, 0x0018, "UI", &I::SOPInstanceUID),
    Text<I>(0x0008, 0x0022, "DA", &I::AcquisitionDate),
    Text<I>(0x0008, 0x0023, "DA", &I::ContentDate),
    Text<I>(0x0008, 0x0032, "TM", &I::AcquisitionTime),
    Text<I>(0x0008, 0x0033, "TM", &I::ContentTime),
    Text<I>(0x0008, 0x0068, nullptr, &I::PresentationIntentType),
    Text<I>(0x0018, 0x1210, nullptr, &I::ConvolutionKernel),
    Text<I>(0x0020, 0x000D, "UI", &I::StudyInstanceUID),
    Text<I>(0x0020, 0x000E, "UI", &I::SeriesInstanceUID),
    Text<I>(0x0020, 0x0012, "IS", &I::AcquisitionNumber),
    Text<I>(0x0020, 0x0013, "IS", &I::InstanceNumber),
    Text<I>(0x0020, 0x0032, nullptr, &I::ImagePositionPatient),
    Text<I>(0x0020, 0x0037, nullptr, &I::ImageOrientationPatient),
    Text<I>(0x0020, 0x1041, nullptr, &I::SliceLocation),
    Number<I>(0x0028, 0x0002, nullptr, &I::SamplesPerPixel),
    Text<I>(0x0028, 0x0004, nullptr, &I::PhotometricInterpretation),
    Text<I>(0x0028, 0x0008, nullptr, &I::NumberOfFrames),
    Number<I>(0x0028, 0x0010, "US", &I::Rows),
    Number<I>(0x0028, 0x0011, "US", &I::Columns),
    Number<I>(0x0028, 0x0101, nullptr, &I::BitsStored),
};

template <class Record>
const std::vector<Field<Record>>& FieldsOf();
template <>
const std::vector<Field<StudyInfo>>& FieldsOf<StudyInfo>() { return kStudyFields; }
template <>
const std::vector<Field<SeriesInfo>>& FieldsOf<SeriesInfo>() { return kSeriesFields; }
template <>
const std::vector<Field<ImageInfo>>& FieldsOf<ImageInfo>() { return kImageFields; }

constexpr std::uint16_t kLevelGroup = 0x0008;
constexpr std::uint16_t kLevelElement = 0x0052;

bool SortsAfterLevel(std::uint16_t group, std::uint16_t element) {
  return group > kLevelGroup || (group == kLevelGroup && element > kLevelElement);
}

// The value of an answered element: numbers as decimal text, texts trimmed.
std::string ValueText(const DcmTag& tag) {
  if (tag.IsVR("US")) return std::to_string(tag.GetUS());
  return Trim(tag.GetString());
}

}  // namespace

template <> const char* QueryLevel<StudyInfo>() { return "STUDY"; }
template <> const char* QueryLevel<SeriesInfo>() { return "SERIES"; }
template <> const char* QueryLevel<ImageInfo>() { return "IMAGE"; }

template <class Record>
DcmObj BuildQueryIdentifier(const Record& query) {
  DcmObj identifier;
  bool levelAdded = false;
  for (const Field<Record>& field : FieldsOf<Record>()) {
    if (!field.keyVR) continue;
    if (!levelAdded && SortsAfterLevel(field.group, field.element)) {
      identifier.Add(DcmTag(kLevelGroup, kLevelElement, QueryLevel<Record>(), "CS"));
      levelAdded = true;
    }
    // Number fields are asked for only: their keys always go out empty.
    const std::string value = field.text ? query.*field.text : "";
    identifier.Add(DcmTag(field.group, field.element, value, field.keyVR));
  }
  if (!levelAdded) identifier.Add(DcmTag(kLevelGroup, kLevelElement, QueryLevel<Record>(), "CS"));
  return identifier;
}

template <class Record>
void FillFromIdentifier(Record& record, const DcmObj& identifier) {
  for (const Field<Record>& field : FieldsOf<Record>()) {
    const DcmTag* tag = identifier.Find(field.group, field.element);
    if (!tag || !tag->HasValue()) continue;
    std::string value = ValueText(*tag);
    if (field.number) {
      const long long number = ToIntDef(value, -1);
      if (number < 0 || number > 0xFFFF) {
        WriteLog("WARNING, FindSCU, not a 16-bit number: " + value);
        continue;
      }
      record.*field.number = static_cast<std::uint16_t>(number);
      continue;
    }
    if (field.maxLength && value.size() > field.maxLength) {
      if (field.warning) WriteLog(field.warning + value);
      value.resize(field.maxLength);
    }
    record.*field.text = value;
  }
}

template DcmObj BuildQueryIdentifier<StudyInfo>(const StudyInfo&);
template DcmObj BuildQueryIdentifier<SeriesInfo>(const SeriesInfo&);
template DcmObj BuildQueryIdentifier<ImageInfo>(const ImageInfo&);
template void FillFromIdentifier<StudyInfo>(StudyInfo&, const DcmObj&);
template void FillFromIdentifier<SeriesInfo>(SeriesInfo&, const DcmObj&);
template void FillFromIdentifier<ImageInfo>(ImageInfo&, const DcmObj&);

}  // namespace tarvelin
