#include "dicom/vrlayout.h"

std::uint32_t HeaderSize(const DcmTag& tag, bool explicitVR) {
  if (CarriesVR(tag, explicitVR) && IsLongLengthVR(VRToWrite(tag))) return 12;
  return 8;
}

DcmTag DelimiterOf(const DcmTag& header) {
  DcmTag delimiter;
  delimiter.Group = 0xFFFE;
  delimiter.Element = header.Is(0xFFFE, 0xE000) ? 0xE00D : 0xE0DD;
  return delimiter;
}
