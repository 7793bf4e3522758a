#include "dicom/vrlayout.h"

bool IsLongLengthVR(const char* vr) {
  // OB OD OF OL OV OW, SQ SV, UC UN UR UT UV: asked for every element encoded.
  switch (vr[0]) {
    case 'O':
      switch (vr[1]) {
        case 'B': case 'D': case 'F': case 'L': case 'V': case 'W':
          return true;
        default:
          return false;
      }
    case 'S':
      return vr[1] == 'Q' || vr[1] == 'V';
    case 'U':
      switch (vr[1]) {
        case 'C': case 'N': case 'R': case 'T': case 'V':
          return true;
        default:
          return false;
      }
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
