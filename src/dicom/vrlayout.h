#pragma once
// How an element's header is laid out in the byte stream; shared by the
// encoder and the length computation so the two always agree.
#include <cstdint>

#include "dicom/dcmtag.h"

namespace tarvelin {

// Explicit-VR VRs with two reserved bytes and a 32-bit length: OB OD OF OL OV
// OW, SQ SV, UC UN UR UT UV. Asked for every element encoded, so inline.
inline bool IsLongLengthVR(const char* vr) {
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
// Group 0000 (command) and FFFE (items, delimiters) never carry a VR.
inline bool CarriesVR(const DcmTag& tag, bool explicitVR) {
  return explicitVR && tag.Group != 0x0000 && tag.Group != 0xFFFE;
}
// The VR written in explicit VR: the element's own, or "UN" when it has none
// or its length does not fit the 16-bit length of its VR.
inline const char* VRToWrite(const DcmTag& tag) {
  if (tag.VR[0] == 0) return "UN";
  if (!IsLongLengthVR(tag.VR) && tag.Length > 0xFFFF) return "UN";
  return tag.VR;
}
// The VR an element's header carries (null in implicit VR, for commands and
// for items) and the size of that header: 8 bytes, or 12 in explicit VR for
// long-length VRs.
struct HeaderLayout {
  const char* VR;
  std::uint32_t Size;
};
inline HeaderLayout LayoutOf(const DcmTag& tag, bool explicitVR) {
  if (!CarriesVR(tag, explicitVR)) return {nullptr, 8};
  const char* vr = VRToWrite(tag);
  return {vr, IsLongLengthVR(vr) ? 12u : 8u};
}
inline std::uint32_t HeaderSize(const DcmTag& tag, bool explicitVR) { return LayoutOf(tag, explicitVR).Size; }
// The delimitation item that closes an undefined-length sequence (FFFE,E0DD)
// or item (FFFE,E00D) with this header: 8 bytes, no value.
DcmTag DelimiterOf(const DcmTag& header);

}  // namespace tarvelin
