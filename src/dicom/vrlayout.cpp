#include "dicom/vrlayout.h"

#include <cstring>

bool IsLongLengthVR(const char* vr) {
  // OB OD OF OL OV OW, SQ SV, UC UN UR UT UV: asked for every element encoded.
  switch (vr[0]) {
    case 'O':
      return std::strchr("BDFLVW", vr[1]) != nullptr && vr[1] != 0;
    case 'S':
      return vr[1] == 'Q' || vr[1] == 'V';
    case 'U':
      return std::strchr("CNRTV", vr[1]) != nullptr && vr[1] != 0;
    default:
      return false;
  }
}

const char* VRToWrite(const DcmTag& tag) {
  if (tag.VR[0] == 0) return "UN";
  if (!IsLongLengthVR(tag.VR) && tag.Length > 0xFFFF) return "UN";
  return tag.VR;
}

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
